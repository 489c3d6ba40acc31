#include "ui/qt/qt_application.h"

#include <dlfcn.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QThread>

#include <cstdlib>

namespace velmora::ui {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A C function of a client library that Qt's platform plugins load anyway;
// null when the library or the function is missing.
template <typename Fn> Fn Function(const char* library, const char* name) {
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr ? reinterpret_cast<Fn>(::dlsym(handle, name)) : nullptr;
}

// Qt aborts the process when its platform cannot connect, so the display is
// tried first with the same client library. The connection is held until Qt
// has its own: a server left without clients resets and refuses meanwhile.
class DisplayProbe {
public:
    DisplayProbe() = default;
    DisplayProbe(const DisplayProbe&) = delete;
    DisplayProbe& operator=(const DisplayProbe&) = delete;
    ~DisplayProbe() {
        if (connection_ != nullptr) close_(connection_);
    }

    bool X11() {
        const auto connect = Function<void* (*)(const char*, int*)>("libxcb.so.1", "xcb_connect");
        const auto hasError = Function<int (*)(void*)>("libxcb.so.1", "xcb_connection_has_error");
        close_ = Function<void (*)(void*)>("libxcb.so.1", "xcb_disconnect");
        if (connect == nullptr || hasError == nullptr || close_ == nullptr) return false;
        connection_ = connect(nullptr, nullptr); // an error object when it fails, which needs closing too
        return connection_ != nullptr && hasError(connection_) == 0;
    }

    bool Wayland() {
        const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
        if (QDir(plugins).entryList({"libqwayland*.so"}, QDir::Files).isEmpty()) return false;
        const auto connect = Function<void* (*)(const char*)>("libwayland-client.so.0", "wl_display_connect");
        close_ = Function<void (*)(void*)>("libwayland-client.so.0", "wl_display_disconnect");
        if (connect == nullptr || close_ == nullptr) return false;
        connection_ = connect(nullptr);
        return connection_ != nullptr;
    }

private:
    void* connection_ = nullptr;
    void (*close_)(void*) = nullptr;
};

// The platform to start Qt on: "" for the one QT_QPA_PLATFORM names, else
// the first display that answers; false when none does.
bool ChoosePlatform(DisplayProbe& x11, DisplayProbe& wayland, std::string& platform, std::string& why) {
    if (!Env("QT_QPA_PLATFORM").empty()) return true;
    if (!Env("DISPLAY").empty() && x11.X11()) {
        platform = "xcb";
        return true;
    }
    if (!Env("WAYLAND_DISPLAY").empty() && wayland.Wayland()) {
        platform = "wayland";
        return true;
    }
    why = "no display can be opened (DISPLAY=\"" + Env("DISPLAY") + "\", WAYLAND_DISPLAY=\"" +
          Env("WAYLAND_DISPLAY") + "\")";
    return false;
}

QtMessageHandler qtMessages = nullptr;

// Qt's notice that no login session made a runtime folder (cron, ssh, a
// container) tells the user of a console host nothing.
void QuietRuntimeDir(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    qtMessages(type, context, text);
}

QApplication* MakeApplication(const std::string& platform) {
    // QApplication keeps references to its arguments for its whole life.
    static std::string name = "Lintara", option = "-platform", chosen;
    static char* argv[4] = {name.data(), nullptr, nullptr, nullptr};
    static int argc = 1;
    if (!platform.empty()) {
        chosen = platform;
        argv[1] = option.data();
        argv[2] = chosen.data();
        argc = 3;
    }
    qtMessages = qInstallMessageHandler(QuietRuntimeDir);
    // Kept for the process and never deleted: Qt's statics made after it,
    // such as its input devices, are gone before any exit handler of ours.
    return new QApplication(argc, argv);
}

} // namespace

QApplication* EnsureApplication(std::string& why) {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        auto* app = qobject_cast<QApplication*>(existing);
        if (app == nullptr) {
            why = "the host's Qt application has no widgets";
            return nullptr;
        }
        if (app->thread() != QThread::currentThread()) {
            why = "the host's QApplication runs on another thread";
            return nullptr;
        }
        return app;
    }
    DisplayProbe x11, wayland;
    std::string platform;
    if (!ChoosePlatform(x11, wayland, platform, why)) return nullptr;
    return MakeApplication(platform);
}

} // namespace velmora::ui
