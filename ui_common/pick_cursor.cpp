// The picking cursor, drawn in code: black bars with a one-pixel white outline, so the
// cross-hair stays visible on dark and light photos alike.
#include "ui_common/pick_cursor.h"

#include <QImage>

namespace pick_cursor {
namespace {

// The black pixels: a cross-hair through the hot spot, open around it so the picked pixel
// stays visible, between a "[" and a "]" frame.
bool isShape(int x, int y) {
    const bool vertical = x == kHotX && ((y >= 0 && y <= kHotY - 3) || (y >= kHotY + 3 && y <= 22));
    const bool horizontal =
        y == kHotY && ((x >= 0 && x <= kHotX - 3) || (x >= kHotX + 3 && x <= 26));
    const bool leftFrame =
        (x == 4 && y >= 5 && y <= 17) || ((y == 5 || y == 17) && x >= 4 && x <= 7);
    const bool rightFrame =
        (x == 22 && y >= 5 && y <= 17) || ((y == 5 || y == 17) && x >= 19 && x <= 22);
    return vertical || horizontal || leftFrame || rightFrame;
}

// Drawn pixels: the shape and its 8-neighbourhood (the white outline).
bool isMask(int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (isShape(x + dx, y + dy)) return true;
    return false;
}

QBitmap fromPredicate(bool (*on)(int, int)) {
    QImage img(kSize, kSize, QImage::Format_MonoLSB);
    img.setColorCount(2);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) img.setPixel(x, y, on(x, y) ? 1 : 0);
    return QBitmap::fromImage(img);
}

}  // namespace

QBitmap shape() {
    return fromPredicate(isShape);
}

QBitmap mask() {
    return fromPredicate(isMask);
}

QCursor cursor() {
    return QCursor(shape(), mask(), kHotX, kHotY);
}

}  // namespace pick_cursor
