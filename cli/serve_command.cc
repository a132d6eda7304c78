// `vexlor serve INDEX`: the index's add and match over HTTP with JSON, for
// questions asked while a record is typed.
//
// Every request but GET /health carries the token of --token-file as a
// bearer token (401 without one, 403 with another). A request the service
// cannot read (bad JSON, an unknown column, a body over --max-body) gets
// 400 with a message naming what is wrong, and the service goes on. The
// index takes one call at a time (record_index.h), so an /add is seen by
// the next /match; HTTP and JSON work runs on a thread per connection.
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/index_command.h"
#include "cli/interrupts.h"
#include "cli/secret.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

namespace {

using nlohmann::json;
using platform::Variant;
using platform::VariantArray;

// Keep-alive connections each hold a thread: enough for many clients.
constexpr size_t kThreads = 64;

// A request the service refuses: the status and why.
struct Refusal {
  int status;
  std::string message;
};

void Answer(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void Refuse(httplib::Response& res, const Refusal& refusal) {
  Answer(res, refusal.status, json{{"error", refusal.message}});
}

// The cell a JSON value gives: texts as they are, numbers and booleans as
// their JSON text (as a CSV file would carry them), null as a missing value.
bool CellOf(const json& value, Variant* cell) {
  if (value.is_string()) {
    *cell = Variant::String(platform::Utf8ToUtf16(value.get<std::string>()));
  } else if (value.is_null()) {
    *cell = Variant::Null();
  } else if (value.is_number() || value.is_boolean()) {
    *cell = Variant::String(platform::Utf8ToUtf16(value.dump()));
  } else {
    return false;
  }
  return true;
}

// The records of a request body, in the index's column order.
bool ReadRecords(const IndexSettings& settings, const std::string& body,
                 Variant* records, Refusal* refusal) {
  json request;
  try {
    request = json::parse(body);
  } catch (const json::exception& e) {
    *refusal = {400, std::string("bad JSON: ") + e.what()};
    return false;
  }
  if (!request.is_object() || !request.contains("records") ||
      !request["records"].is_array()) {
    *refusal = {400, "the body must be {\"records\": [{...}, ...]}"};
    return false;
  }
  const json& list = request["records"];
  const uint32_t columns = static_cast<uint32_t>(settings.names.size());
  *records =
      VariantArray::NewTable(columns, static_cast<uint32_t>(list.size()));
  VariantArray& to = *records->AsArray();
  std::vector<std::u16string> name(1);
  std::vector<int> column;
  std::string error;
  for (uint32_t r = 0; r < list.size(); ++r) {
    if (!list[r].is_object()) {
      *refusal = {400, "record " + std::to_string(r) + " is not an object"};
      return false;
    }
    for (uint32_t c = 0; c < columns; ++c) to.cell(c, r) = Variant::Null();
    for (const auto& [key, value] : list[r].items()) {
      name[0] = platform::Utf8ToUtf16(key);
      if (!IndexColumnsOf(settings, name, &column, &error)) {
        *refusal = {400, "record " + std::to_string(r) + ": " + error};
        return false;
      }
      if (!CellOf(value, &to.cell(static_cast<uint32_t>(column[0]), r))) {
        *refusal = {400, "record " + std::to_string(r) + ": the value of '" +
                             key + "' is not a text, number or null"};
        return false;
      }
    }
  }
  return true;
}

json ResultsJson(const std::vector<RecordResult>& results) {
  json list = json::array();
  for (const RecordResult& result : results) {
    json matches = json::array();
    for (const RecordMatch& m : result.matches) {
      matches.push_back(
          {{"id", m.id}, {"group", m.group}, {"similarity", m.similarity}});
    }
    list.push_back(
        {{"group", result.group.empty() ? json(nullptr) : json(result.group)},
         {"matches", std::move(matches)}});
  }
  return json{{"results", std::move(list)}};
}

struct ServeOptions {
  std::string index;
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string token;
  size_t max_body = size_t{1} << 20;
};

bool ReadToken(const std::string& path, std::string* token,
               std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read the token file " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *token = text.str();
  while (!token->empty() &&
         std::isspace(static_cast<unsigned char>(token->back()))) {
    token->pop_back();
  }
  if (token->size() < 16 ||
      token->find_first_of(" \t\r\n") != std::string::npos) {
    *error = path + ": the token must be one word of 16 characters or more";
    return false;
  }
  return true;
}

bool ReadServeOptions(const Arguments& a, ServeOptions* o, std::string* error) {
  if (a.positional().size() != 1) {
    *error = "serve takes INDEX";
    return false;
  }
  o->index = a.positional()[0];
  o->host = a.Get("host", o->host);
  long long value;
  if (a.Has("port")) {
    if (!ParseInt(a.Get("port", ""), 0, 65535, &value)) {
      *error = "--port takes 0 to 65535";
      return false;
    }
    o->port = static_cast<int>(value);
  }
  if (a.Has("max-body")) {
    if (!ParseInt(a.Get("max-body", ""), 1, INT32_MAX, &value)) {
      *error = "--max-body takes a number of bytes";
      return false;
    }
    o->max_body = static_cast<size_t>(value);
  }
  if (!a.Has("token-file")) {
    *error = "serve needs --token-file F: requests must carry its token";
    return false;
  }
  return ReadToken(a.Get("token-file", ""), &o->token, error);
}

void Route(httplib::Server& http, RecordIndex& index, const ServeOptions& o) {
  const std::string token = o.token;
  http.set_pre_routing_handler(
      [token](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/health") {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        const std::string header = req.get_header_value("Authorization");
        const std::string kBearer = "Bearer ";
        if (header.compare(0, kBearer.size(), kBearer) != 0) {
          res.set_header("WWW-Authenticate", "Bearer");
          Refuse(res, {401, "this service needs Authorization: Bearer TOKEN"});
          return httplib::Server::HandlerResponse::Handled;
        }
        if (!SameSecret(header.substr(kBearer.size()), token)) {
          Refuse(res, {403, "wrong token"});
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });
  // The library answers an oversized body with 413 before any handler.
  const size_t max_body = o.max_body;
  http.set_error_handler(httplib::Server::HandlerWithResponse(
      [max_body](const httplib::Request&, httplib::Response& res) {
        if (res.status == 413) {
          Refuse(res, {400, "the body is larger than the " +
                                std::to_string(max_body) +
                                " bytes this service takes (--max-body)"});
        } else if (res.body.empty()) {
          Refuse(res, {res.status, "no such request"});
        }
        return httplib::Server::HandlerResponse::Handled;
      }));
  http.Get("/health",
           [&index](const httplib::Request&, httplib::Response& res) {
             const IndexInfo info = index.Info();
             Answer(res, 200,
                    json{{"status", "ok"},
                         {"records", info.records},
                         {"groups", info.groups}});
           });
  for (const bool store : {false, true}) {
    http.Post(
        store ? "/add" : "/match",
        [&index, store](const httplib::Request& req, httplib::Response& res) {
          Variant records;
          Refusal refusal;
          if (!ReadRecords(index.settings(), req.body, &records, &refusal)) {
            Refuse(res, refusal);
            return;
          }
          std::vector<RecordResult> results;
          std::string error;
          const bool done =
              store ? index.Add(*records.AsArray(), &results, &error)
                    : index.Match(*records.AsArray(), &results, &error);
          if (!done) {
            Refuse(res, {500, error});
            return;
          }
          Answer(res, 200, ResultsJson(results));
        });
  }
}

}  // namespace

int RunServe(const std::vector<std::string>& args, Io io) {
  const Arguments a(args, {{"host", true},
                           {"port", true},
                           {"token-file", true},
                           {"max-body", true},
                           {"label-seed", true}});
  if (!a.ok()) return Complain(io, kExitUsage, "serve: " + a.error());
  ServeOptions o;
  std::string error;
  if (!ReadServeOptions(a, &o, &error)) {
    return Complain(io, kExitUsage, "serve: " + error);
  }
  std::optional<uint64_t> seed;
  long long value;
  if (a.Has("label-seed")) {
    if (!ParseInt(a.Get("label-seed", ""), 0, INT64_MAX, &value)) {
      return Complain(io, kExitUsage, "--label-seed takes a whole number");
    }
    seed = static_cast<uint64_t>(value);
  }
  std::unique_ptr<RecordIndex> index = RecordIndex::Open(o.index, seed, &error);
  if (index == nullptr) return Complain(io, kExitBadInput, error);

  httplib::Server http;
  http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  http.set_payload_max_length(o.max_body);
  // An answer goes out in more than one write: without this, each waits
  // for the client's delayed acknowledgement (some 40 ms).
  http.set_tcp_nodelay(true);
  Route(http, *index, o);
  const int port = o.port == 0
                       ? http.bind_to_any_port(o.host)
                       : (http.bind_to_port(o.host, o.port) ? o.port : -1);
  if (port <= 0) {
    return Complain(
        io, kExitBadInput,
        "cannot listen on " + o.host + ":" + std::to_string(o.port));
  }
  io.out << "listening on http://" << o.host << ":" << port << std::endl;
  InterruptScope interrupts;
  std::thread listener([&http] { http.listen_after_bind(); });
  while (!Interrupted()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  http.stop();
  listener.join();
  return kExitOk;
}

}  // namespace vexlor::cli
