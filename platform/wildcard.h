// Matching a file name against a listing pattern with * and ?.
//
// '*' matches any run of characters (none included), '?' exactly one; every
// other byte matches itself with ASCII letter case ignored. Plain semantics:
// "*.htm" does not match "x.html". Shared by every platform's listing.
#ifndef QUILLMEND_PLATFORM_WILDCARD_H_
#define QUILLMEND_PLATFORM_WILDCARD_H_

#include <string>

namespace quillmend {

bool wildcard_match(const std::string& pattern, const std::string& name);

// The pattern of a listing request with its double quotes removed, split at
// its last separator into a folder and a name pattern. Without a separator
// the folder is empty, meaning the current folder.
struct listing_request {
  std::string folder;
  std::string name_pattern;
};
listing_request split_listing_pattern(const std::string& path_pattern);

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_WILDCARD_H_
