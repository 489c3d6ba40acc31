// lintara-screenshot: opens one of the driver's windows on the display, as a
// user sees it, and saves a picture of it for the documentation.
//   lintara-screenshot chooser FOLDER OUT.png  the address chooser over
//                                              FOLDER's iplist.txt
//   lintara-screenshot message FOLDER OUT.png  its message when OK finds the
//                                              last box empty
//   lintara-screenshot general|adc|dac|dio OUT.png
//                                              the setup dialog on that page,
//                                              opened as a host opens it, with
//                                              the simulated module detected
// The setup pictures come from the driver beside this program, made by its
// ProgID (registered first when it is not) in the user's registry store.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <QListWidget>
#include <QTabWidget>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
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

// Saves the modal window once painted and closes it; then ends the
// program's event loop unless told not to.
void SaveModalLater(const QString& out, bool& saved, bool quit = true) {
    QTimer::singleShot(kPaintedMs, [&out, &saved, quit] {
        QWidget* modal = QApplication::activeModalWidget();
        saved = modal != nullptr && WithTitle(*modal).save(out);
        if (modal != nullptr) modal->close();
        if (quit) QApplication::exit();
    });
}

constexpr std::array<const char*, 4> kPages = {"general", "adc", "dac", "dio"};

velmora::ComPtr<IADC3> CreateDriver() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(PROGID_Lintara, &clsid))) {
        const QString driver = QCoreApplication::applicationDirPath() + "/Lintara.adc";
        void* library = ::dlopen(driver.toLocal8Bit().constData(), RTLD_NOW);
        auto registerServer = reinterpret_cast<HRESULT (*)()>(
            library != nullptr ? ::dlsym(library, "DllRegisterServer") : nullptr);
        if (registerServer == nullptr || FAILED(registerServer())) return {};
        CLSIDFromProgID(PROGID_Lintara, &clsid);
    }
    velmora::ComPtr<IADC3> adc;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void());
    return adc;
}

// Test with the chooser answered by the module at 127.0.0.1 (the first
// line of its list), then ShowSetting with `page` clicked.
bool ShootSetup(int page, const QString& out) {
    velmora::ComPtr<IADC3> adc = CreateDriver();
    if (!adc) {
        std::fputs("lintara-screenshot: cannot create the driver beside this program\n", stderr);
        return false;
    }
    QTimer::singleShot(kPaintedMs, [] {
        QWidget* chooser = QApplication::activeModalWidget();
        if (chooser == nullptr) return;
        chooser->findChild<QListWidget*>(QStringLiteral("lstIP"))->setCurrentRow(0);
        chooser->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    VARIANT_BOOL found = VARIANT_FALSE;
    adc->Test(&found);
    if (found != VARIANT_TRUE) {
        std::fputs("lintara-screenshot: the simulated module was not detected\n", stderr);
        return false;
    }
    QTimer::singleShot(0, [page] {
        if (QWidget* setup = QApplication::activeModalWidget())
            setup->findChild<QTabWidget*>(QStringLiteral("tabSetup"))->setCurrentIndex(page);
    });
    bool saved = false;
    SaveModalLater(out, saved, false);
    VARIANT_BOOL result = VARIANT_FALSE;
    adc->ShowSetting(&result);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    const std::string window = argc >= 2 ? argv[1] : "";
    const auto page = std::find(kPages.begin(), kPages.end(), window);
    const bool setup = page != kPages.end() && argc == 3;
    // Said before Qt, which needs a display, starts.
    if (!setup && ((window != "chooser" && window != "message") || argc != 4)) {
        std::fputs("usage: lintara-screenshot chooser|message FOLDER OUT.png\n"
                   "       lintara-screenshot general|adc|dac|dio OUT.png\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    if (setup) {
        const bool saved =
            ShootSetup(static_cast<int>(page - kPages.begin()), QString::fromLocal8Bit(argv[2]));
        if (!saved) std::fprintf(stderr, "lintara-screenshot: cannot write %s\n", argv[2]);
        return saved ? 0 : 1;
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
