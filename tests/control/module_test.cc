#include "vexlor/control/module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace vexlor {
namespace {

// An in-memory registry: keys with their values, and registered libraries.
class FakeRegistry : public RegistryStore {
 public:
  bool RegisterTypeLib(const std::string& id, int, int,
                       const std::string&) override {
    if (refuse_typelib) return false;
    libs.insert(id);
    return true;
  }
  bool UnregisterTypeLib(const std::string& id, int, int) override {
    libs.erase(id);
    return !refuse_typelib;
  }
  bool SetValue(const std::string& key, const std::string& name,
                const std::string& value) override {
    if (refuse_keys) return false;
    keys[key][name] = value;
    return true;
  }
  bool CreateKey(const std::string& key) override {
    if (refuse_keys) return false;
    keys[key];
    return true;
  }
  bool DeleteTree(const std::string& key) override {
    for (auto it = keys.begin(); it != keys.end();) {
      bool below = it->first == key || it->first.rfind(key + "\\", 0) == 0;
      it = below ? keys.erase(it) : std::next(it);
    }
    return true;
  }
  bool refuse_typelib = false;
  bool refuse_keys = false;
  std::map<std::string, std::map<std::string, std::string>> keys;
  std::set<std::string> libs;
};

TEST(ModuleTest, RegistersTheEntriesAndUnregistersThemAll) {
  FakeRegistry store;
  store.keys["Other\\Key"][""] = "kept";
  auto before = store.keys;
  ASSERT_EQ(DllRegisterServer(store, "/usr/lib/libvexlor.so"), kSelfRegOk);
  const std::string key = std::string("CLSID\\") + kControlClsid;
  EXPECT_EQ(store.keys[key][""], "Vexlor Control");
  EXPECT_EQ(store.keys[key + "\\ProgID"][""], "VEXLOR.VexlorCtrl.1");
  EXPECT_EQ(store.keys[key + "\\InprocServer32"]["ThreadingModel"],
            "Apartment");
  EXPECT_EQ(store.keys[key + "\\MiscStatus"][""], "132497");
  EXPECT_EQ(store.keys[key + "\\Version"][""], "1.0");
  EXPECT_EQ(store.keys[key + "\\TypeLib"][""], kTypeLibId);
  EXPECT_TRUE(store.keys.count(key + "\\Control"));
  EXPECT_FALSE(store.keys.count(key + "\\Insertable"));
  EXPECT_EQ(store.keys[std::string("CLSID\\") + kPropPageClsid][""],
            "Vexlor Property Page");
  EXPECT_EQ(store.libs.count(kTypeLibId), 1u);
  ASSERT_EQ(DllUnregisterServer(store), kSelfRegOk);
  EXPECT_EQ(store.keys, before);
  EXPECT_TRUE(store.libs.empty());
}

TEST(ModuleTest, RefusalsGiveTheirCodes) {
  FakeRegistry lib;
  lib.refuse_typelib = true;
  EXPECT_EQ(DllRegisterServer(lib, "x"), kSelfRegTypeLibError);
  FakeRegistry classes;
  classes.refuse_keys = true;
  EXPECT_EQ(DllRegisterServer(classes, "x"), kSelfRegClassError);
}

TEST(ModuleTest, FactoriesAndExtent) {
  EXPECT_NE(CreateControl("VEXLOR.VexlorCtrl.1"), nullptr);
  EXPECT_NE(CreateControl("vexlor.vexlorctrl.1"), nullptr);
  EXPECT_NE(CreateControl(kControlClsid), nullptr);
  EXPECT_EQ(CreateControl("VEXLOR.VexlorPropPage.1"), nullptr);
  ASSERT_NE(CreatePropPage("VEXLOR.VexlorPropPage.1"), nullptr);
  EXPECT_STREQ(CreatePropPage(kPropPageClsid)->caption(), "General");
  for (Extent e : {Extent{0, 0}, Extent{100, 5000}, Extent{-3, 890}}) {
    Extent kept = OnSetExtent(e);
    EXPECT_EQ(kept.cx, 890);
    EXPECT_EQ(kept.cy, 890);
  }
}

TEST(ModuleTest, AboutBoxShowsThroughTheContainer) {
  CVexlorCtrl control;
  std::string shown;
  control.set_about_presenter([&](const std::string& text) { shown = text; });
  control.AboutBox();
  EXPECT_EQ(shown.rfind("Vexlor Control, Version 5.7.0\n", 0), 0u);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 3);
}

TEST(ModuleTest, TypeLibraryNamesEveryMember) {
  std::string idl = TypeLibraryIdl();
  for (const char* part :
       {"library VEXLORLib", "dispinterface _DVexlor", "_DVexlorEvents",
        "coclass Vexlor", "MRR_CLEANMERGED = 3", "[id(18)] VARIANT DupeSearch(",
        "DupeReturnResults ReturnResults", "[id(2)] BSTR CSVDelimiter",
        "DISPID_ABOUTBOX"}) {
    EXPECT_NE(idl.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace vexlor
