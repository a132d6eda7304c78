// The review page's files (review/page/), compiled into the program so that
// `vexlor review` needs no files beside it. The definitions are generated
// at build time by cmake/embed_files.cmake.
#ifndef VEXLOR_REVIEW_REVIEW_ASSETS_H_
#define VEXLOR_REVIEW_REVIEW_ASSETS_H_

#include <cstddef>

namespace vexlor::cli {

struct ReviewAsset {
  const char* name;  // the file's name: "index.html"
  const unsigned char* data;
  size_t size;
};

extern const ReviewAsset kReviewAssets[];
extern const size_t kReviewAssetCount;

}  // namespace vexlor::cli

#endif  // VEXLOR_REVIEW_REVIEW_ASSETS_H_
