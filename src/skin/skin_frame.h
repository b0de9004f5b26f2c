// SkinFrame: the eight pieces of a skinned window frame. Corners are drawn as
// they are, the top and bottom middles tiled across between them, the sides
// tiled down between the top and bottom corners; the inside is left to the
// window. Pieces that cannot be loaded are left out.
#pragma once

#include "skin/skin_bitmap.h"

#include <QMargins>
#include <QStringList>
#include <array>

class SkinFrame {
public:
    enum Piece { TopLeft, TopMid, TopRight, MidLeft, MidRight, BottomLeft, BottomMid, BottomRight, PieceCount };

    // Section PREFIX_UI with keys PREFIX_TOP_LEFT, PREFIX_TOP_MID, ...,
    // PREFIX_BOTTOM_RIGHT.
    void Load(const ResourceLookup& lookup, const QString& prefix);
    // The eight keys of section in Piece order.
    void Load(const ResourceLookup& lookup, const QString& section, const QStringList& keys);

    const SkinBitmap& piece(Piece which) const { return pieces_[which]; }
    // How far the frame reaches into a rectangle on each side.
    QMargins margins() const;
    void paint(QPainter& p, const QRect& r) const;

private:
    std::array<SkinBitmap, PieceCount> pieces_;
};
