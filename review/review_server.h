// The web server of `vexlor review`: it serves the page compiled into the
// program, the review's data and its decisions, and nothing else.
//
// It listens on the loopback address only, on a port the system picks, and
// answers only requests that carry its random token (?token=...) and come
// from the loopback address, naming the host it listens on (403 otherwise;
// 404 for any other path). Decisions the page sends are checked and written
// to the one decisions file through a temporary file and a rename.
#ifndef VEXLOR_REVIEW_REVIEW_SERVER_H_
#define VEXLOR_REVIEW_REVIEW_SERVER_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "review/review_decisions.h"

namespace vexlor::cli {

// What the page reads: GET /data the summary (small, so the page paints
// at once), GET /groups?from=I&to=J the records of the groups shown at
// positions [I, J), GET /pairs every group's pairs, asked for only when
// the threshold is moved.
struct ReviewContent {
  std::string summary_json;
  size_t group_count = 0;
  std::function<std::string(size_t from, size_t to)> groups_json;
  std::function<std::string()> pairs_json;
};

class ReviewServer {
 public:
  // `state` holds the groups and the decisions read back,
  // `decisions_path` is where changes go.
  ReviewServer(ReviewContent content, ReviewState state,
               std::string decisions_path);
  ~ReviewServer();
  ReviewServer(const ReviewServer&) = delete;
  ReviewServer& operator=(const ReviewServer&) = delete;

  // Binds to 127.0.0.1 on a free port; false with a message.
  bool Bind(std::string* error);
  // "http://127.0.0.1:PORT/?token=TOKEN", once bound.
  std::string Address() const;
  const std::string& token() const { return token_; }

  // Serves until the page posts /done or `stop` (polled ten times a
  // second) returns true. False with a message when the decisions could
  // not be written at the end of the review.
  bool Serve(const std::function<bool()>& stop);

  // The last error of writing the decisions file (empty when fine).
  std::string write_error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string token_;
};

}  // namespace vexlor::cli

#endif  // VEXLOR_REVIEW_REVIEW_SERVER_H_
