// The General page's two pictures, drawn rather than loaded: the start
// synchronization types (one small chart per direction option, top to
// bottom in the options' order) and the project's logo, which reacts to a
// click. GUI thread only.
#pragma once

#include <QWidget>

#include <functional>

namespace velmora::ui {

// imgSType: spans the four direction options and draws each one's chart
// beside it.
class SyncTypesPicture : public QWidget {
public:
    explicit SyncTypesPicture(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// imgLogo: a waveform turning into samples, on a rounded tile.
class LogoPicture : public QWidget {
public:
    LogoPicture(std::function<void()> clicked, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> clicked_;
};

} // namespace velmora::ui
