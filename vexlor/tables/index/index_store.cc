#include "vexlor/tables/index/index_store.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <unordered_map>
#include <utility>

#include "vexlor/tables/cell_text.h"
#include "vexlor/text.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

// "VXIX": tells our files from other programs' SQLite databases.
constexpr int32_t kApplicationId = 0x56584958;

// Owns one prepared statement.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string Describe(sqlite3* db) {
  const int code = sqlite3_errcode(db);
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) {
    return std::string("the file is damaged (") + sqlite3_errmsg(db) + ")";
  }
  return sqlite3_errmsg(db);
}

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
    return true;
  }
  *error = Describe(db);
  return false;
}

// SQLite's header: 16 bytes of magic, the user version at 60 and the
// application id at 68, both big-endian. Read directly, so that a file that
// is not ours is refused before SQLite could touch it.
bool CheckHeader(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  unsigned char header[100] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  static const char kMagic[] = "SQLite format 3";
  if (in.gcount() < static_cast<std::streamsize>(sizeof header) ||
      std::string(reinterpret_cast<char*>(header), 15) != kMagic) {
    *error = path + " is not a vexlor index (not an SQLite database)";
    return false;
  }
  auto word = [&header](int at) {
    return static_cast<int32_t>(
        (uint32_t{header[at]} << 24) | (uint32_t{header[at + 1]} << 16) |
        (uint32_t{header[at + 2]} << 8) | uint32_t{header[at + 3]});
  };
  if (word(68) != kApplicationId) {
    *error = path + " is another program's database, not a vexlor index";
    return false;
  }
  const int32_t version = word(60);
  if (version > kIndexFormatVersion) {
    *error = path + " was made by a newer vexlor (index format " +
             std::to_string(version) + "; this one reads format " +
             std::to_string(kIndexFormatVersion) + ")";
    return false;
  }
  if (version < 1) {
    *error = path + " is damaged (no index format)";
    return false;
  }
  return true;
}

void BindCell(sqlite3_stmt* stmt, int at, const Variant& cell,
              std::string* text) {
  switch (cell.vt()) {
    case platform::VT_BSTR:
      *text = platform::Utf16ToUtf8(cell.AsString());
      sqlite3_bind_text(stmt, at, text->data(), static_cast<int>(text->size()),
                        SQLITE_TRANSIENT);
      return;
    case platform::VT_EMPTY:
    case platform::VT_NULL:
      sqlite3_bind_null(stmt, at);
      return;
    case platform::VT_I2:
      sqlite3_bind_int64(stmt, at, cell.AsInt16());
      return;
    case platform::VT_I4:
    case platform::VT_INT:
      sqlite3_bind_int64(stmt, at, cell.AsInt32());
      return;
    case platform::VT_I1:
    case platform::VT_I8:
      sqlite3_bind_int64(stmt, at, cell.AsInt64());
      return;
    case platform::VT_R4:
      sqlite3_bind_double(stmt, at, cell.AsFloat());
      return;
    case platform::VT_R8:
      sqlite3_bind_double(stmt, at, cell.AsDouble());
      return;
    default:
      break;
  }
  if (cell.vt() == platform::VT_UI1 || cell.vt() == platform::VT_UI2 ||
      cell.vt() == platform::VT_UI4 || cell.vt() == platform::VT_UINT ||
      (cell.vt() == platform::VT_UI8 &&
       cell.AsUInt64() <= uint64_t{std::numeric_limits<int64_t>::max()})) {
    sqlite3_bind_int64(stmt, at, static_cast<int64_t>(cell.AsUInt64()));
    return;
  }
  // Dates, currency, booleans and the rest keep the text they compare by.
  std::string ansi;
  CellText(cell, &ansi);
  *text = platform::AnsiToUtf8(ansi);
  sqlite3_bind_text(stmt, at, text->data(), static_cast<int>(text->size()),
                    SQLITE_TRANSIENT);
}

Variant ColumnCell(sqlite3_stmt* stmt, int at) {
  switch (sqlite3_column_type(stmt, at)) {
    case SQLITE_INTEGER: {
      const int64_t v = sqlite3_column_int64(stmt, at);
      if (v >= std::numeric_limits<int32_t>::min() &&
          v <= std::numeric_limits<int32_t>::max()) {
        return Variant::I4(static_cast<int32_t>(v));
      }
      return Variant::I8(v);
    }
    case SQLITE_FLOAT:
      return Variant::R8(sqlite3_column_double(stmt, at));
    case SQLITE_TEXT: {
      const auto* bytes =
          reinterpret_cast<const char*>(sqlite3_column_text(stmt, at));
      const int size = sqlite3_column_bytes(stmt, at);
      return Variant::String(
          platform::Utf8ToUtf16(std::string_view(bytes, size)));
    }
    default:
      return Variant::Null();
  }
}

std::string RecordColumns(size_t columns) {
  std::string list;
  for (size_t c = 0; c < columns; ++c) list += ", c" + std::to_string(c);
  return list;
}

const char* GroupingName(Grouping grouping) {
  switch (grouping) {
    case Grouping::kCenter:
      return "center";
    case Grouping::kClique:
      return "clique";
    case Grouping::kChain:
      break;
  }
  return "chain";
}

bool WriteSettings(sqlite3* db, const IndexSettings& s, std::string* error) {
  const size_t columns = s.names.size();
  std::string sql =
      "CREATE TABLE settings(name TEXT PRIMARY KEY, value);"
      "CREATE TABLE columns(position INTEGER PRIMARY KEY, name TEXT NOT NULL,"
      " cluster INTEGER NOT NULL, compare INTEGER NOT NULL,"
      " weight REAL NOT NULL, compare_null INTEGER NOT NULL);"
      "CREATE TABLE groups(id INTEGER PRIMARY KEY, label TEXT NOT NULL UNIQUE);"
      "CREATE TABLE records(id INTEGER PRIMARY KEY, grp INTEGER NOT NULL,"
      " similarity REAL" +
      RecordColumns(columns) + ");";
  if (!Exec(db, sql, error)) return false;
  Statement setting(db, "INSERT INTO settings VALUES(?, ?)");
  auto put = [&](const char* name, auto value) {
    sqlite3_bind_text(setting.get(), 1, name, -1, SQLITE_STATIC);
    if constexpr (std::is_same_v<decltype(value), double>) {
      sqlite3_bind_double(setting.get(), 2, value);
    } else if constexpr (std::is_same_v<decltype(value), int>) {
      sqlite3_bind_int64(setting.get(), 2, value);
    } else {
      sqlite3_bind_text(setting.get(), 2, std::string(value).c_str(), -1,
                        SQLITE_TRANSIENT);
    }
    const bool done = sqlite3_step(setting.get()) == SQLITE_DONE;
    sqlite3_reset(setting.get());
    return done;
  };
  const MatchOptions& o = s.options;
  bool ok =
      setting.ok() && put("threshold", s.threshold) &&
      put("cluster_threshold", s.cluster_threshold) &&
      put("id_column", s.id_column) &&
      put("grouping", GroupingName(o.grouping)) &&
      put("scoring", o.scoring == Scoring::kEstimated ? "estimated" : "mean") &&
      put("swap_first", o.swap_first) && put("swap_second", o.swap_second);
  if (ok && o.member_threshold) {
    ok = put("member_threshold", *o.member_threshold);
  }
  if (ok && !s.model_json.empty()) ok = put("model", s.model_json.c_str());
  Statement column(db, "INSERT INTO columns VALUES(?, ?, ?, ?, ?, ?)");
  for (size_t c = 0; ok && column.ok() && c < columns; ++c) {
    const std::string name = platform::Utf16ToUtf8(s.names[c]);
    sqlite3_stmt* st = column.get();
    sqlite3_bind_int64(st, 1, static_cast<int64_t>(c));
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 3, s.columns.cluster[c] ? 1 : 0);
    sqlite3_bind_int(st, 4, s.columns.dupe_search[c] ? 1 : 0);
    sqlite3_bind_double(st, 5, s.columns.weight[c]);
    sqlite3_bind_int(st, 6, s.columns.compare_null[c] ? 1 : 0);
    ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  if (!ok || !column.ok()) *error = Describe(db);
  return ok && column.ok();
}

// Inserts rows of `table` as records first + 1, ... with their places.
bool InsertRecords(sqlite3* db, const VariantArray& table, uint32_t first,
                   std::span<const StoredPlace> places, std::string* error) {
  const uint32_t columns = table.columns();
  std::string sql = "INSERT INTO records VALUES(?, ?, ?";
  for (uint32_t c = 0; c < columns; ++c) sql += ", ?";
  sql += ")";
  Statement insert(db, sql);
  if (!insert.ok()) {
    *error = Describe(db);
    return false;
  }
  sqlite3_stmt* st = insert.get();
  std::vector<std::string> texts(columns);
  for (uint32_t r = 0; r < table.rows(); ++r) {
    sqlite3_bind_int64(st, 1, int64_t{first} + r + 1);
    sqlite3_bind_int64(st, 2, int64_t{places[r].group} + 1);
    if (std::isnan(places[r].similarity)) {
      sqlite3_bind_null(st, 3);
    } else {
      sqlite3_bind_double(st, 3, places[r].similarity);
    }
    for (uint32_t c = 0; c < columns; ++c) {
      BindCell(st, static_cast<int>(c) + 4, table.cell(c, r), &texts[c]);
    }
    const bool done = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    if (!done) {
      *error = Describe(db);
      return false;
    }
  }
  return true;
}

bool InsertGroups(sqlite3* db, uint32_t first,
                  std::span<const std::string> labels, std::string* error) {
  Statement insert(db, "INSERT INTO groups VALUES(?, ?)");
  if (!insert.ok()) {
    *error = Describe(db);
    return false;
  }
  for (size_t g = 0; g < labels.size(); ++g) {
    sqlite3_bind_int64(insert.get(), 1, int64_t{first} + 1 + int64_t(g));
    sqlite3_bind_text(insert.get(), 2, labels[g].c_str(), -1, SQLITE_STATIC);
    const bool done = sqlite3_step(insert.get()) == SQLITE_DONE;
    sqlite3_reset(insert.get());
    if (!done) {
      *error = Describe(db);
      return false;
    }
  }
  return true;
}

sqlite3* OpenDatabase(const std::string& path, int flags, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    *error = "cannot open " + path + ": " +
             (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  // A reader waits for the writer's commit rather than failing.
  sqlite3_busy_timeout(db, 10000);
  return db;
}

bool MakeFile(sqlite3* db, const IndexSettings& settings,
              const VariantArray& table, std::span<const std::string> labels,
              std::string* error) {
  // Group numbers in order of first appearance.
  std::unordered_map<std::string, uint32_t> number_of;
  std::vector<std::string> group_labels;
  std::vector<StoredPlace> places(table.rows());
  const double none = std::numeric_limits<double>::quiet_NaN();
  for (uint32_t r = 0; r < table.rows(); ++r) {
    auto [it, added] = number_of.try_emplace(
        labels[r], static_cast<uint32_t>(group_labels.size()));
    if (added) group_labels.push_back(labels[r]);
    places[r] = {it->second, none};
  }
  return Exec(db,
              "PRAGMA application_id = " + std::to_string(kApplicationId) +
                  "; PRAGMA user_version = " +
                  std::to_string(kIndexFormatVersion) + "; BEGIN",
              error) &&
         WriteSettings(db, settings, error) &&
         InsertGroups(db, 0, group_labels, error) &&
         InsertRecords(db, table, 0, places, error) &&
         Exec(db, "COMMIT; PRAGMA journal_mode = WAL", error);
}

}  // namespace

IndexStore::IndexStore(sqlite3* db, std::string path)
    : db_(db), path_(std::move(path)) {}

IndexStore::~IndexStore() { sqlite3_close(db_); }

bool IndexStore::Create(const std::string& path, const IndexSettings& settings,
                        const VariantArray& table,
                        std::span<const std::string> labels,
                        std::string* error) {
  if (std::ifstream(path).good()) {
    *error = path + " exists; an index is made anew only";
    return false;
  }
  if (table.rows() != labels.size() ||
      table.columns() != settings.names.size()) {
    *error = "the table and its labels or column names differ in size";
    return false;
  }
  const std::string temporary = path + ".making";
  std::remove(temporary.c_str());
  sqlite3* db = OpenDatabase(temporary,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
  if (db == nullptr) return false;
  std::string why;
  const bool made = MakeFile(db, settings, table, labels, &why);
  sqlite3_close(db);
  if (!made || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    *error = "cannot make " + path + (made ? "" : ": " + why);
    return false;
  }
  return true;
}

std::unique_ptr<IndexStore> IndexStore::Open(const std::string& path,
                                             bool writable,
                                             std::string* error) {
  if (!CheckHeader(path, error)) return nullptr;
  // Read-write even for reading: a reader of a write-ahead log needs its
  // shared-memory file. Nothing is written unless Append is called.
  (void)writable;
  sqlite3* db = OpenDatabase(path, SQLITE_OPEN_READWRITE, error);
  if (db == nullptr) return nullptr;
  std::unique_ptr<IndexStore> store(new IndexStore(db, path));
  std::string why;
  if (!store->Load(&why)) {
    *error = path + ": " + why;
    return nullptr;
  }
  return store;
}

bool IndexStore::Load(std::string* error) {
  IndexSettings& s = settings_;
  {
    Statement read(db_, "SELECT name, value FROM settings");
    if (!read.ok()) {
      *error = Describe(db_);
      return false;
    }
    sqlite3_stmt* st = read.get();
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
      const std::string name =
          reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      const double number = sqlite3_column_double(st, 1);
      const char* text =
          reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      const std::string value = text != nullptr ? text : "";
      if (name == "threshold") s.threshold = number;
      if (name == "cluster_threshold") s.cluster_threshold = number;
      if (name == "id_column") s.id_column = static_cast<int>(number);
      if (name == "member_threshold") s.options.member_threshold = number;
      if (name == "swap_first") s.options.swap_first = static_cast<int>(number);
      if (name == "swap_second") {
        s.options.swap_second = static_cast<int>(number);
      }
      if (name == "grouping") {
        s.options.grouping = value == "center"   ? Grouping::kCenter
                             : value == "clique" ? Grouping::kClique
                                                 : Grouping::kChain;
      }
      if (name == "scoring" && value == "estimated") {
        s.options.scoring = Scoring::kEstimated;
      }
      if (name == "model") s.model_json = value;
    }
    if (step != SQLITE_DONE) {
      *error = Describe(db_);
      return false;
    }
  }
  {
    Statement read(db_,
                   "SELECT position, name, cluster, compare, weight, "
                   "compare_null FROM columns ORDER BY position");
    if (!read.ok()) {
      *error = Describe(db_);
      return false;
    }
    sqlite3_stmt* st = read.get();
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
      const int c = sqlite3_column_int(st, 0);
      if (c != static_cast<int>(s.names.size()) || !ColumnOptions::InRange(c)) {
        *error = "the file is damaged (columns out of order)";
        return false;
      }
      const auto* name =
          reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      s.names.push_back(platform::Utf8ToUtf16(name != nullptr ? name : ""));
      s.columns.Set(c, sqlite3_column_int(st, 2) != 0,
                    sqlite3_column_int(st, 3) != 0,
                    sqlite3_column_double(st, 4),
                    sqlite3_column_int(st, 5) != 0, s.names.back());
    }
    if (step != SQLITE_DONE) {
      *error = Describe(db_);
      return false;
    }
  }
  {
    Statement read(db_, "SELECT id, label FROM groups ORDER BY id");
    if (!read.ok()) {
      *error = Describe(db_);
      return false;
    }
    int step;
    while ((step = sqlite3_step(read.get())) == SQLITE_ROW) {
      if (sqlite3_column_int64(read.get(), 0) !=
          static_cast<int64_t>(labels_.size()) + 1) {
        *error = "the file is damaged (groups out of order)";
        return false;
      }
      const auto* label =
          reinterpret_cast<const char*>(sqlite3_column_text(read.get(), 1));
      labels_.emplace_back(label != nullptr ? label : "");
    }
    if (step != SQLITE_DONE) {
      *error = Describe(db_);
      return false;
    }
  }
  Statement count(db_, "SELECT coalesce(max(id), 0) FROM records");
  if (!count.ok() || sqlite3_step(count.get()) != SQLITE_ROW) {
    *error = Describe(db_);
    return false;
  }
  const int64_t records = sqlite3_column_int64(count.get(), 0);
  if (records > std::numeric_limits<uint32_t>::max() - 1) {
    *error = "the file is damaged (record numbers)";
    return false;
  }
  records_ = static_cast<uint32_t>(records);
  return true;
}

uint64_t IndexStore::FileBytes() const {
  uint64_t bytes = 0;
  for (const std::string& name : {path_, path_ + "-wal"}) {
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    if (in) bytes += static_cast<uint64_t>(in.tellg());
  }
  return bytes;
}

bool IndexStore::ReadRecords(
    uint32_t chunk, std::span<const bool> only,
    const std::function<void(Variant&, uint32_t, std::span<const StoredPlace>)>&
        on_rows,
    std::string* error) {
  const uint32_t columns = static_cast<uint32_t>(settings_.names.size());
  std::string list;
  for (uint32_t c = 0; c < columns; ++c) {
    list += only.empty() || only[c] ? ", c" + std::to_string(c) : ", NULL";
  }
  Statement read(
      db_, "SELECT id, grp, similarity" + list + " FROM records ORDER BY id");
  if (!read.ok()) {
    *error = path_ + ": " + Describe(db_);
    return false;
  }
  sqlite3_stmt* st = read.get();
  Variant rows = VariantArray::NewTable(columns, chunk);
  std::vector<StoredPlace> places;
  places.reserve(chunk);
  uint32_t next = 0;
  uint32_t in_chunk = 0;
  auto flush = [&](uint32_t count) {
    if (count == 0) return;
    Variant part;
    if (count == chunk) {
      part.Swap(rows);
    } else {
      part = VariantArray::NewTable(columns, count);
      for (uint32_t r = 0; r < count; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
          part.AsArray()->cell(c, r).Swap(rows.AsArray()->cell(c, r));
        }
      }
    }
    on_rows(part, next - count, places);
    places.clear();
    if (!rows.IsArray()) rows = VariantArray::NewTable(columns, chunk);
  };
  int step;
  while ((step = sqlite3_step(st)) == SQLITE_ROW) {
    const int64_t group = sqlite3_column_int64(st, 1);
    if (sqlite3_column_int64(st, 0) != int64_t{next} + 1 || group < 1 ||
        group > static_cast<int64_t>(labels_.size())) {
      *error = path_ + ": the file is damaged (record " +
               std::to_string(next + 1) + ")";
      return false;
    }
    const double similarity = sqlite3_column_type(st, 2) == SQLITE_NULL
                                  ? std::numeric_limits<double>::quiet_NaN()
                                  : sqlite3_column_double(st, 2);
    places.push_back({static_cast<uint32_t>(group - 1), similarity});
    for (uint32_t c = 0; c < columns; ++c) {
      rows.AsArray()->cell(c, in_chunk) =
          ColumnCell(st, static_cast<int>(c) + 3);
    }
    ++next;
    if (++in_chunk == chunk) {
      flush(chunk);
      in_chunk = 0;
    }
  }
  if (step != SQLITE_DONE) {
    *error = path_ + ": " + Describe(db_);
    return false;
  }
  flush(in_chunk);
  return true;
}

bool IndexStore::Append(const VariantArray& table,
                        std::span<const StoredPlace> places,
                        std::span<const std::string> new_labels,
                        std::string* error) {
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) {
    *error = path_ + ": " + *error;
    return false;
  }
  std::string why;
  bool ok = true;
  {
    Statement last(db_,
                   "SELECT (SELECT coalesce(max(id), 0) FROM records), "
                   "(SELECT coalesce(max(id), 0) FROM groups)");
    ok = last.ok() && sqlite3_step(last.get()) == SQLITE_ROW;
    if (!ok) {
      why = Describe(db_);
    } else if (sqlite3_column_int64(last.get(), 0) != records_ ||
               sqlite3_column_int64(last.get(), 1) !=
                   static_cast<int64_t>(labels_.size())) {
      why = "another process added records since this one opened the index";
      ok = false;
    }
  }
  ok = ok && InsertGroups(db_, groups(), new_labels, &why) &&
       InsertRecords(db_, table, records_, places, &why) &&
       Exec(db_, "COMMIT", &why);
  if (!ok) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    *error = path_ + ": " + why;
    return false;
  }
  records_ += table.rows();
  labels_.insert(labels_.end(), new_labels.begin(), new_labels.end());
  return true;
}

}  // namespace vexlor
