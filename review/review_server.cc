#include "review/review_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "cli/arguments.h"
#include "cli/secret.h"
#include "review/review_assets.h"

namespace vexlor::cli {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kJavaScript = "application/javascript; charset=utf-8";
// A page asks for the groups around the screen; more in one request would
// only hold the answer up.
constexpr long long kMaxGroupsAsked = 1000;

std::string RandomToken() {
  std::random_device device;  // the system's entropy source
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
    token += part;
  }
  return token;
}

const ReviewAsset* FindAsset(const std::string& name) {
  for (size_t i = 0; i < kReviewAssetCount; ++i) {
    if (name == kReviewAssets[i].name) return &kReviewAssets[i];
  }
  return nullptr;
}

std::string AssetText(const std::string& name) {
  const ReviewAsset* asset = FindAsset(name);
  return asset == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(asset->data),
                           asset->size);
}

}  // namespace

struct ReviewServer::Impl {
  httplib::Server http;
  ReviewContent content;
  std::string decisions_path;
  int port = 0;
  std::atomic<bool> done{false};
  std::mutex mutex;  // guards state and write_error
  ReviewState state;
  std::string write_error;
};

ReviewServer::ReviewServer(ReviewContent content, ReviewState state,
                           std::string decisions_path)
    : impl_(std::make_unique<Impl>()), token_(RandomToken()) {
  impl_->content = std::move(content);
  impl_->state = std::move(state);
  impl_->decisions_path = std::move(decisions_path);
}

ReviewServer::~ReviewServer() = default;

bool ReviewServer::Bind(std::string* error) {
  Impl& s = *impl_;
  httplib::Server& http = s.http;
  // Closed connections let the server stop at once.
  http.set_keep_alive_timeout(1);
  http.set_payload_max_length(size_t{64} << 20);
  http.set_default_headers(
      {{"Content-Security-Policy",
        "default-src 'none'; script-src 'self'; style-src 'self'; "
        "connect-src 'self'; img-src 'self' data:; base-uri 'none'; "
        "form-action 'none'; frame-ancestors 'none'"},
       {"X-Content-Type-Options", "nosniff"},
       {"Referrer-Policy", "no-referrer"},
       {"Cache-Control", "no-store"}});
  http.set_pre_routing_handler(
      [this](const httplib::Request& req, httplib::Response& res) {
        const std::string host =
            std::string(kHost) + ":" + std::to_string(impl_->port);
        const bool allowed = req.remote_addr == kHost &&
                             req.get_header_value("Host") == host &&
                             SameSecret(req.get_param_value("token"), token_);
        if (allowed) return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("forbidden\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
      });
  const std::string page = [this] {
    std::string html = AssetText("index.html");
    for (size_t at; (at = html.find("__TOKEN__")) != std::string::npos;) {
      html.replace(at, 9, token_);
    }
    return html;
  }();
  http.Get("/", [page](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html; charset=utf-8");
  });
  http.Get("/page.js", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(AssetText("page.js"), kJavaScript);
  });
  http.Get("/page.css", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(AssetText("page.css"), "text/css; charset=utf-8");
  });
  // The server library compresses some content types for browsers that
  // accept it, brotli first, which for megabytes of data takes the best
  // part of a minute and saves nothing on the loopback. These spellings of
  // the types are left alone.
  http.Get("/data", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(impl_->content.summary_json, kJson);
  });
  http.Get("/groups", [this](const httplib::Request& req,
                             httplib::Response& res) {
    const ReviewContent& c = impl_->content;
    long long from, to;
    if (!ParseInt(req.get_param_value("from"), 0,
                  static_cast<long long>(c.group_count), &from) ||
        !ParseInt(req.get_param_value("to"), from,
                  std::min<long long>(from + kMaxGroupsAsked,
                                      static_cast<long long>(c.group_count)),
                  &to)) {
      res.status = 400;
      res.set_content("from and to: positions of groups\n", "text/plain");
      return;
    }
    res.set_content(
        c.groups_json(static_cast<size_t>(from), static_cast<size_t>(to)),
        kJson);
  });
  http.Get("/pairs", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(impl_->content.pairs_json(), kJson);
  });
  http.Get("/decisions",
           [this](const httplib::Request&, httplib::Response& res) {
             std::lock_guard<std::mutex> lock(impl_->mutex);
             res.set_content(DecisionListJson(impl_->state), kJson);
           });
  http.Post("/decisions",
            [this](const httplib::Request& req, httplib::Response& res) {
              std::lock_guard<std::mutex> lock(impl_->mutex);
              std::string problem;
              if (!ParseDecisions(req.body, &impl_->state, &problem)) {
                res.status = 400;
              } else if (!WriteReviewState(impl_->decisions_path, impl_->state,
                                           &problem)) {
                res.status = 500;
              }
              impl_->write_error = res.status == 500 ? problem : std::string();
              res.set_content(problem.empty() ? "saved\n" : problem + "\n",
                              "text/plain; charset=utf-8");
            });
  http.Post("/done", [this](const httplib::Request&, httplib::Response& res) {
    impl_->done = true;
    res.set_content("done\n", "text/plain");
  });
  s.port = http.bind_to_any_port(kHost);
  if (s.port <= 0) {
    *error = "cannot listen on 127.0.0.1";
    return false;
  }
  return true;
}

std::string ReviewServer::Address() const {
  return "http://" + std::string(kHost) + ":" + std::to_string(impl_->port) +
         "/?token=" + token_;
}

bool ReviewServer::Serve(const std::function<bool()>& stop) {
  std::thread listener([this] { impl_->http.listen_after_bind(); });
  while (!impl_->done && !stop()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  impl_->http.stop();
  listener.join();
  return write_error().empty();
}

std::string ReviewServer::write_error() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->write_error;
}

}  // namespace vexlor::cli
