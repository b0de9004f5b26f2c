// CRangeSlider: a horizontal slider with two marks that select [left, right]
// inside [min, max], drawn from seven skin bitmaps (track head, body and
// tail, selection band, played bar, mark normal and pressed). A third band,
// the played bar, can show a playing position inside the selection.
//
// Every change the user makes is sent at once to the parent as
// msg::RangeChanged (wParam 0 left mark, 1 right mark, 2 the selection moved
// as a whole; lParam 1 only for the release of the right mark). Values that
// are not finite are refused and change nothing.
//
// Geometry, in scale-1 pixels: the usable length is the client width minus
// two thumb widths; pixel(v) = (v - min) / (max - min) * usable, truncated.
// The left mark's left edge sits at pixel(left), the right mark's at
// thumb width + pixel(right).
#pragma once

#include "platform/messages.h"
#include "skin/skin_bitmap.h"

#include <QRect>
#include <QVariantMap>
#include <QWidget>

class CRangeSlider : public QWidget {
    Q_OBJECT
public:
    enum Element { LeftMark = 0, RightMark = 1, Selection = 2 };

    explicit CRangeSlider(QWidget* parent = nullptr, int controlId = 0);

    int controlId() const { return controlId_; }

    // Swapped when given in descending order; the selection is normalised.
    void SetMinMax(double min, double max);
    void GetMinMax(double& min, double& max) const;
    // The selection, normalised into [min, max].
    void SetRange(double left, double right);
    void GetRange(double& left, double& right) const;
    // The played bar, normalised into [min, max] without notification.
    void SetVisualRange(double start, double end);
    void GetVisualRange(double& start, double& end) const;
    void SetVisualMode(bool shown);
    bool GetVisualMode() const { return visualShown_; }

    // Each setter loads its files (with the missing-file warning) and takes
    // the size of the last image it loaded as the bitmap size.
    void SetMarkBitmaps(const QString& normal, const QString& pressed);
    void SetTrackBitmaps(const QString& head, const QString& body, const QString& tail);
    void SetBandBitmaps(const QString& selection, const QString& played);
    // All seven from one skin section (MARK_UP, MARK_DOWN, BACK_HEAD,
    // BACK_BODY, BACK_TAIL, SELECT, VISUAL), in that order.
    void LoadBitmaps(const ResourceLookup& lookup, const QString& section);

    // The values and the geometry for the host's script mode, which has its
    // own copy of this class and asks through the meta-object: min, max,
    // left, right, thumbWidth, usable.
    Q_INVOKABLE QVariantMap ScriptGeometry() const;

    int thumbWidth() const { return thumbWidth_; }
    // Client width minus two thumb widths.
    int usableLength() const { return width() - 2 * thumbWidth_; }
    // Where the marks were last drawn (empty before the first paint).
    QRect leftMarkRect() const { return leftRect_; }
    QRect rightMarkRect() const { return rightRect_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void normaliseSelection();
    void normaliseVisual();
    void notify(Element which, LPARAM release = 0);
    bool hasRange() const { return max_ > min_; }
    int pixel(double v) const;
    double value(int q) const;
    void takeBitmapSize(const SkinBitmap& b);
    void dragTo(int pointerX);

    int controlId_;
    double min_ = 0.0, max_ = 1.0;
    double left_ = 0.0, right_ = 1.0;
    double visualStart_ = 0.0, visualEnd_ = 0.0;
    bool visualShown_ = false;
    int thumbWidth_ = 11;
    QSize bitmapSize_;
    QRect leftRect_, rightRect_;
    bool tracking_ = false;
    Element dragged_ = LeftMark;
    QPoint grabOffset_;
    bool bitmapsSet_ = false;
    SkinBitmap head_, body_, tail_, select_, visual_, markUp_, markDown_;
};
