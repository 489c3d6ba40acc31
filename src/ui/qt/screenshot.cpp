// lintara-screenshot: opens one of the driver's windows on the display, as a
// user would see it, and saves a picture of it for the documentation.
//   lintara-screenshot chooser FOLDER OUT.png   the address chooser over
//                                               FOLDER's iplist.txt
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <string>

#include "ui/ip_chooser_model.h"
#include "ui/qt/ip_chooser_view.h"

namespace {

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4 || std::string(argv[1]) != "chooser") {
        std::fputs("usage: lintara-screenshot chooser FOLDER OUT.png\n", stderr);
        return 2;
    }
    velmora::ui::dlgIPModel model(argv[2]);
    model.Load();
    velmora::ui::dlgIP dialog(model, [](QWidget*, const std::string&) {});
    dialog.show();
    const QString out = QString::fromLocal8Bit(argv[3]);
    bool saved = false;
    // After the window has been laid out and painted once.
    QTimer::singleShot(500, &dialog, [&] {
        saved = WithTitle(dialog).save(out);
        app.quit();
    });
    app.exec();
    if (!saved) std::fprintf(stderr, "lintara-screenshot: cannot write %s\n", argv[3]);
    return saved ? 0 : 1;
}
