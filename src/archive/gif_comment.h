// SPDX-License-Identifier: MIT
// A GIF file can carry text of its own in comment blocks, which viewers and browsers pass over.
// The program keeps in each picture what the picture was drawn from (archive/archive_record.h),
// so that the record travels with the picture: a copied or restored archive folder keeps it,
// and no second file can fall out of step with the pictures.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

// `gif` with a comment block holding `text` put before its first picture (and its version made
// GIF89a, which comments need). Returns `gif` unchanged when it is no GIF.
std::vector<unsigned char> with_gif_comment(std::span<const unsigned char> gif,
                                            std::string_view text);

// The texts of the comment blocks before the first picture of `gif`, in order; those whose
// blocks are cut short are left out.
std::vector<std::string> gif_comments(std::span<const unsigned char> gif);

}  // namespace norvane
