#include "skin/skin_frame.h"

#include <QPainter>
#include <algorithm>

void SkinFrame::Load(const ResourceLookup& lookup, const QString& prefix)
{
    QStringList keys;
    for (const char* suffix : { "_TOP_LEFT", "_TOP_MID", "_TOP_RIGHT", "_MID_LEFT", "_MID_RIGHT", "_BOTTOM_LEFT",
             "_BOTTOM_MID", "_BOTTOM_RIGHT" })
        keys << prefix + QLatin1String(suffix);
    Load(lookup, prefix + QStringLiteral("_UI"), keys);
}

void SkinFrame::Load(const ResourceLookup& lookup, const QString& section, const QStringList& keys)
{
    for (int i = 0; i < PieceCount; ++i) {
        pieces_[i].clear();
        if (i < keys.size())
            LoadSkinBitmap(pieces_[i], lookup, section, keys[i]);
    }
}

QMargins SkinFrame::margins() const
{
    auto w = [this](Piece a, Piece b, Piece c) {
        return std::max({ pieces_[a].width(), pieces_[b].width(), pieces_[c].width() });
    };
    auto h = [this](Piece a, Piece b, Piece c) {
        return std::max({ pieces_[a].height(), pieces_[b].height(), pieces_[c].height() });
    };
    return { w(TopLeft, MidLeft, BottomLeft), h(TopLeft, TopMid, TopRight), w(TopRight, MidRight, BottomRight),
        h(BottomLeft, BottomMid, BottomRight) };
}

void SkinFrame::paint(QPainter& p, const QRect& r) const
{
    const auto& tl = pieces_[TopLeft];
    const auto& tm = pieces_[TopMid];
    const auto& tr = pieces_[TopRight];
    const auto& ml = pieces_[MidLeft];
    const auto& mr = pieces_[MidRight];
    const auto& bl = pieces_[BottomLeft];
    const auto& bm = pieces_[BottomMid];
    const auto& br = pieces_[BottomRight];
    const int left = r.left(), top = r.top();
    const int right = r.left() + r.width(), bottom = r.top() + r.height(); // one past the edge
    // Sides first, so that corners taller or wider than them sit on top.
    ml.tileVertically(p, QRect(left, top + tl.height(), ml.width(), bottom - bl.height() - top - tl.height()));
    mr.tileVertically(
        p, QRect(right - mr.width(), top + tr.height(), mr.width(), bottom - br.height() - top - tr.height()));
    tm.tileHorizontally(p, QRect(left + tl.width(), top, right - tr.width() - left - tl.width(), tm.height()));
    bm.tileHorizontally(
        p, QRect(left + bl.width(), bottom - bm.height(), right - br.width() - left - bl.width(), bm.height()));
    tl.draw(p, left, top);
    tr.draw(p, right - tr.width(), top);
    bl.draw(p, left, bottom - bl.height());
    br.draw(p, right - br.width(), bottom - br.height());
}
