// `vexlor review FILE`: a local web page to look at the groups of a
// duplicate search and correct them before anything is deleted.
#include <algorithm>
#include <iostream>

#include "cli/command.h"
#include "cli/interrupts.h"
#include "review/review_data.h"
#include "review/review_server.h"
#include "vexlor/platform/file.h"

namespace vexlor::cli {

namespace {

bool SameGroups(const ReviewState& a, const ReviewState& b) {
  return a.kind == b.kind && a.rows == b.rows && a.other_rows == b.other_rows &&
         a.groups == b.groups;
}

size_t Reviewed(const ReviewState& state) {
  size_t n = 0;
  for (const GroupDecision& d : state.decisions) n += d.reviewed ? 1 : 0;
  return n;
}

}  // namespace

int RunReview(const std::vector<std::string>& args, Io io) {
  Arguments a(args, ReviewSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "review: " + a.error());
  const std::vector<std::string>& files = a.positional();
  if (files.empty() || files.size() > 2 ||
      std::find(files.begin(), files.end(), "-") != files.end()) {
    return Complain(io, kExitUsage,
                    "review takes FILE, or MASTER and FILE of a match (its "
                    "decisions are kept beside it, so not standard input)");
  }
  if (a.Has("decisions") && a.Get("decisions", "").empty()) {
    return Complain(io, kExitUsage, "review: --decisions takes a file name");
  }
  ReviewData data;
  int status = kExitOk;
  if (!LoadReviewData(a, io, &data, &status)) return status;

  // A decisions file of the same groups resumes the review; one of other
  // groups is someone else's work and is not overwritten.
  const std::string path =
      a.Get("decisions", a.positional()[0] + ".review.json");
  std::string error;
  ReviewState state = data.state;
  if (platform::InspectPath(path).kind != platform::PathInfo::Kind::kMissing) {
    ReviewState kept;
    if (!ReadReviewState(path, &kept, &error)) {
      return Complain(io, kExitBadInput, error);
    }
    if (!SameGroups(kept, state)) {
      return Complain(io, kExitBadInput,
                      path +
                          " holds decisions on other groups; move it away "
                          "or name another file with --decisions");
    }
    state = std::move(kept);
  } else if (!WriteReviewState(path, state, &error)) {
    return Complain(io, kExitBadInput, error);
  }

  const size_t groups = state.groups.size();
  ReviewContent content;
  content.summary_json = ReviewSummaryJson(data);
  content.group_count = groups;
  content.groups_json = [&data](size_t from, size_t to) {
    return ReviewGroupsJson(data, from, to);
  };
  content.pairs_json = [&data] { return ReviewPairsJson(data); };
  ReviewServer server(std::move(content), std::move(state), path);
  if (!server.Bind(&error)) return Complain(io, kExitBadInput, error);
  io.out << server.Address() << std::endl;
  io.err << "vexlor: review of " << groups
         << (data.state.kind == ReviewKind::kMatch ? " matches" : " groups")
         << "; decisions go to " << path
         << "; Ctrl-C or Done on the page ends it\n";
  io.err.flush();
  if (!server.Serve([] { return Interrupted(); })) {
    return Complain(io, kExitBadInput, server.write_error());
  }
  ReviewState final_state;
  if (ReadReviewState(path, &final_state, &error)) {
    io.err << "vexlor: " << Reviewed(final_state) << " of " << groups
           << (final_state.kind == ReviewKind::kMatch ? " matches" : " groups")
           << " reviewed\n";
  }
  return kExitOk;
}

}  // namespace vexlor::cli
