#pragma once

#include <string>
#include <string_view>

namespace keyglass {

/// File-name form of a text: lower-cased, every character that is not an ASCII letter or digit turned
/// into "-", runs of "-" collapsed, "-" trimmed from both ends; "preset" when nothing is left.
/// "My Photoshop Set!" -> "my-photoshop-set". Bytes of non-ASCII characters count as "neither", so the
/// result is always a plain ASCII file name.
std::string slug(std::string_view text);

} // namespace keyglass
