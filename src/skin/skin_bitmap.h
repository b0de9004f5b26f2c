// Skin bitmaps and fonts: what every skinned control draws with.
//
// A skin image may come in two files, NAME.png and NAME@2x.png drawn from the
// same artwork at twice the size. On a screen whose device pixel ratio
// exceeds 1 the loader takes the @2x file and marks the image with its ratio,
// so width(), height() and every layout rule built on them stay in scale-1
// pixels while the painter draws the finer image.
#pragma once

#include "config/resources.h"

#include <QFont>
#include <QImage>
#include <QString>

class QPainter;

// The bitmap holder of skinned controls.
class SkinBitmap {
public:
    bool isNull() const { return image_.isNull(); }
    // Size in scale-1 pixels, whatever file was loaded.
    int width() const;
    int height() const;
    QSize size() const { return { width(), height() }; }
    // The image in its own pixels, with its device pixel ratio set.
    const QImage& image() const { return image_; }
    void attach(const QImage& image) { image_ = image; }
    void clear() { image_ = QImage(); }

    // Draws the whole bitmap with its top-left corner at (x, y).
    void draw(QPainter& p, int x, int y) const;
    // Draws source (scale-1 pixels of the bitmap) into target.
    void draw(QPainter& p, const QRect& target, const QRect& source) const;
    // Draws frame index of a strip of frames equal frames side by side (the
    // skin's buttons: normal, hover, pressed, disabled) into target.
    void drawFrame(QPainter& p, const QRect& target, int index, int frames = 4) const;
    // Tiles the bitmap over area from its left (top) edge; the last tile is
    // placed so that it ends at the area's right (bottom) edge. Nothing is
    // drawn outside area.
    void tileHorizontally(QPainter& p, const QRect& area) const;
    void tileVertically(QPainter& p, const QRect& area) const;

private:
    QImage image_;
};

// NAME@2x.ext beside NAME.ext.
QString HighDpiSkinPath(const QString& path);

// Loads path into holder: the @2x file when the application's device pixel
// ratio exceeds 1 and that file decodes, else path itself. An empty path
// fails silently. A file that is missing or cannot be decoded fails with the
// "File not found!" warning when warn is set; a missing file leaves the
// holder as it was, an undecodable one leaves it empty.
bool LoadSkinBitmap(SkinBitmap& holder, const QString& path, bool warn = true);
// The image the lookup names under (section, key), loaded with the warning.
bool LoadSkinBitmap(SkinBitmap& holder, const ResourceLookup& lookup, const QString& section, const QString& key);

// The plain message box a skinned control shows for an image it cannot load.
void WarnSkinFileNotFound(const QString& path);

enum class SkinFontRole {
    Pane, // editing panes: 11 px character height, bold
    ProgressWindow, // 12 px, normal
    MessageBox, // 12 px, bold
    EditMenuBar, // 11 px cell height, bold
};
// A font whose face is the text under (section, key).
QFont MakeSkinFont(const ResourceLookup& lookup, const QString& section, const QString& key, SkinFontRole role);
