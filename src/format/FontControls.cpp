// The text viewer's font, from the combo boxes and the "Font" menu. Both ways
// set exactly the same values; neither updates the other.

#include <QLocale>
#include <QPalette>

#include "format/Colors.h"
#include "host/RuntimeError.h"
#include "ui/Controls.h"
#include "ui/Form1.h"
#include "ui/TextBox.h"

namespace brimlet {

namespace {

void setFontName(TextBox* box, const QString& name) {
    QFont font = box->font();
    font.setFamilies({name});
    box->setFont(font);
}

void setBold(TextBox* box, bool on) {
    QFont font = box->font();
    font.setBold(on);
    box->setFont(font);
}

void setItalic(TextBox* box, bool on) {
    QFont font = box->font();
    font.setItalic(on);
    box->setFont(font);
}

// A size in points, converted as the user's locale writes numbers.
void setSize(TextBox* box, const QString& text) {
    bool ok = false;
    const float points = QLocale().toFloat(text, &ok);
    if (!ok) throw RuntimeError(13, QStringLiteral("Type mismatch"), text);
    if (!(points > 0)) throw RuntimeError(380, QStringLiteral("Invalid property value"), text);
    QFont font = box->font();
    font.setPointSizeF(points);
    box->setFont(font);
}

void setColor(TextBox* box, std::uint32_t value) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, colorFromValue(value));
    box->setPalette(palette);
}

}  // namespace

void Form1::Combo4_Click() {
    setFontName(Text1, Combo4->currentText());
}

void Form1::Combo1_Click() {
    const QString style = Combo1->currentText();
    if (style == QLatin1String("Regular")) {
        setBold(Text1, false);
        setItalic(Text1, false);
    }
    if (style == QLatin1String("Bold")) setBold(Text1, true);
    if (style == QLatin1String("Italic")) setItalic(Text1, true);
}

void Form1::Combo2_Click() {
    setSize(Text1, Combo2->currentText());
}

void Form1::Combo3_Click() {
    const QString color = Combo3->currentText();
    if (color == QLatin1String("Blue")) setColor(Text1, kBlue);
    if (color == QLatin1String("Red")) setColor(Text1, kRed);
    if (color == QLatin1String("Black")) setColor(Text1, kBlack);
}

void Form1::amprog_Click() {
    setFontName(Text1, QStringLiteral("Amo Pro Caption"));
}
void Form1::adfda_Click() {
    setFontName(Text1, QStringLiteral("Ms Gothic"));
}
void Form1::msssan_Click() {
    setFontName(Text1, QStringLiteral("Ms Sans Serif"));
}
void Form1::adsdf_Click() {
    setFontName(Text1, QStringLiteral("MVSans"));
}

void Form1::eight_Click() {
    setSize(Text1, QStringLiteral("8"));
}
void Form1::ten_Click() {
    setSize(Text1, QStringLiteral("10"));
}
void Form1::twe_Click() {
    setSize(Text1, QStringLiteral("12"));
}
void Form1::fourte_Click() {
    setSize(Text1, QStringLiteral("14"));
}
void Form1::eighteren_Click() {
    setSize(Text1, QStringLiteral("18"));
}
void Form1::twetny_Click() {
    setSize(Text1, QStringLiteral("24"));
}

void Form1::reg_Click() {
    setBold(Text1, false);
    setItalic(Text1, false);
}
void Form1::bold_Click() {
    setBold(Text1, true);
}
void Form1::itvs_Click() {
    setItalic(Text1, true);
}

void Form1::blk_Click() {
    setColor(Text1, kBlack);
}
void Form1::blue_Click() {
    setColor(Text1, kBlue);
}
void Form1::redf_Click() {
    setColor(Text1, kRed);
}

}  // namespace brimlet
