// lintara-screenshot: opens one of the driver's windows on the display, as a
// user sees it, and saves a picture of it for the documentation.
//   lintara-screenshot chooser FOLDER OUT.png  the address chooser over
//                                              FOLDER's iplist.txt
//   lintara-screenshot message FOLDER OUT.png  its message when OK finds the
//                                              last box empty
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <string>

#include "ui/ip_chooser_model.h"
#include "ui/qt/ip_chooser_view.h"
#include "ui/qt/qt_dialogs.h"

namespace {

constexpr int kPaintedMs = 500; // the window laid out and painted once

// Without a window manager there is no title bar, so the window's title is
// drawn above its contents.
QImage WithTitle(QWidget& window) {
    const QPixmap body = window.grab();
    const int bar = window.fontMetrics().height() + 12;
    QImage image(body.width(), body.height() + bar, QImage::Format_RGB32);
    image.fill(QColor(0x3c, 0x50, 0x6e));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.setFont(window.font());
    painter.drawText(QRect(8, 0, body.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawPixmap(0, bar, body);
    return image;
}

// Saves the modal window once painted, closes it and ends the program.
void SaveModalLater(const QString& out, bool& saved) {
    QTimer::singleShot(kPaintedMs, [&out, &saved] {
        QWidget* modal = QApplication::activeModalWidget();
        saved = modal != nullptr && WithTitle(*modal).save(out);
        if (modal != nullptr) modal->close();
        QApplication::exit();
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string window = argc == 4 ? argv[1] : "";
    if (window != "chooser" && window != "message") {
        std::fputs("usage: lintara-screenshot chooser|message FOLDER OUT.png\n", stderr);
        return 2;
    }
    velmora::ui::dlgIPModel model(argv[2]);
    model.Load();
    if (window == "message") model.Edit().Edit(0, "", 0);
    velmora::ui::dlgIP dialog(model, [](QWidget* parent, const std::string& text) {
        velmora::ui::ShowMessageBox(parent, text, "E16");
    });
    const QString out = QString::fromLocal8Bit(argv[3]);
    bool saved = false;
    if (window == "chooser") {
        dialog.open();
        SaveModalLater(out, saved);
    } else {
        dialog.open();
        QTimer::singleShot(kPaintedMs, &dialog, [&] {
            SaveModalLater(out, saved);
            dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        });
    }
    app.exec();
    if (!saved) std::fprintf(stderr, "lintara-screenshot: cannot write %s\n", argv[3]);
    return saved ? 0 : 1;
}
