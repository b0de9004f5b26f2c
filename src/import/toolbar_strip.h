// CToolBarStrip: the background of a skinned button bar, drawn from three
// images of section "ME_TOOLBAR_UI": the left piece, the middle piece tiled
// across, and the right piece, with an optional logo after the left piece.
#pragma once

#include "config/resources.h"
#include "skin/skin_bitmap.h"

#include <QWidget>

class CToolBarStrip : public QWidget {
public:
    // Keys of the three pieces (and the logo, when not empty).
    CToolBarStrip(const ResourceLookup& resources, const char* left, const char* mid, const char* right,
        const char* logo = nullptr, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    SkinBitmap left_, mid_, right_, logo_;
};
