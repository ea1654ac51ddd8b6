#pragma once

#include <QString>

class QWidget;

namespace brimlet {

// Sets the text viewer's font name, size, style and colour from a choice of
// the font combo boxes or of the "Font" menu; both ways set exactly the same
// values, and neither updates the other. Nothing else changes: not the
// text, not the other controls.
class FontControls {
  public:
    explicit FontControls(QWidget* viewer) : viewer_(viewer) {}

    void setName(const QString& name);
    // A size in points, read as the user's locale writes numbers. Raises 13
    // "Type mismatch" for a text that is no number, 380 for one that is not
    // above 0.
    void setSize(const QString& size);
    // "Regular" takes bold and italic away; "Bold" and "Italic" add theirs.
    // Any other text changes nothing.
    void applyStyle(const QString& style);
    // "Black", "Blue" or "Red"; any other text changes nothing.
    void applyColor(const QString& color);

  private:
    void setBold(bool on);
    void setItalic(bool on);

    QWidget* viewer_;
};

}  // namespace brimlet
