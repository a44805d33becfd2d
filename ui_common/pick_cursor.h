// The white-point picking cursor: a drawn 32x32 two-colour cross-hair between two bracket
// frames, with its hot spot at (13, 11).
#pragma once

#include <QBitmap>
#include <QCursor>

namespace pick_cursor {

inline constexpr int kSize = 32;
inline constexpr int kHotX = 13;
inline constexpr int kHotY = 11;

// The cursor's shape (1 = black) and mask (1 = drawn); white where mask is set but not shape.
QBitmap shape();
QBitmap mask();
QCursor cursor();

}  // namespace pick_cursor
