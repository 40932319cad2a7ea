// The picture: three time axes, one per case of the window, the permitted
// spans marked "Z" over a thick bar, and the legend under them.
#include "SyncHelpDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QPainter>
#include <QVBoxLayout>

#include "FormMessages.h"
#include "SyncHelpPicture.h"

namespace kt64::console {

namespace {

class HelpPicture : public QWidget {
public:
    explicit HelpPicture(QWidget* parent) : QWidget(parent) {
        setObjectName("picture");
        setMinimumSize(kPictureWidth, kPictureHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), Qt::white);
        p.scale(width() / double(kPictureWidth), height() / double(kPictureHeight));
        const WindowCase cases[] = {WindowCase::BothBounds, WindowCase::OdZero, WindowCase::DoZero};
        for (int row = 0; row < 3; ++row) {
            const auto c = cases[row];
            const auto g = rowGeometry(row);
            p.setPen(QPen(Qt::black, 1));
            p.drawText(QRect(5, g.axisY - 10, g.left - 10, 20), Qt::AlignLeft | Qt::AlignVCenter,
                       qtext(caseCaption(c)));
            // The axis and its arrow, "t" at its end.
            p.drawLine(g.left, g.axisY, g.right, g.axisY);
            p.drawLine(g.right, g.axisY, g.right - 8, g.axisY - 4);
            p.drawLine(g.right, g.axisY, g.right - 8, g.axisY + 4);
            p.drawText(QPoint(g.right - 6, g.axisY + 18), "t");
            for (const auto& mark : axisMarks(c)) {
                const int x = g.xOf(mark.at);
                p.drawLine(x, g.axisY - 4, x, g.axisY + 4);
                p.drawText(QRect(x - 25, g.axisY + 6, 50, 16), Qt::AlignCenter, qtext(mark.text));
            }
            for (const auto& zone : permitZones(c)) {
                const int x0 = g.xOf(zone.from);
                const int x1 = g.xOf(zone.to);
                p.fillRect(QRect(x0, g.axisY - 6, x1 - x0, 5), QColor(0, 128, 0));
                p.drawText(QRect(x0, g.axisY - 26, x1 - x0, 18), Qt::AlignCenter, "Z");
            }
        }
        int y = kLegendTop;
        for (auto text : {kLegendNoWindow, kLegendAxis, kLegendZone}) {
            p.drawText(QPoint(10, y), qtext(text));
            y += kLegendLineStep;
        }
    }
};

}  // namespace

SyncHelpDialog::SyncHelpDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("SyncHelpDialog");
    setWindowTitle(qtext(kHelpTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new HelpPicture(this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace kt64::console
