#pragma once

#include <QSize>

namespace tavora {

// Where the display test gets its measurements. The screen size is asked at
// the moment of each test; the DPI is the one fixed when the program started.
class DisplayMetrics {
public:
    virtual ~DisplayMetrics() = default;
    // Size of the primary screen in device pixels.
    virtual QSize screenSize() const = 0;
    // Dots per inch the desktop's scale setting gives, read once at start-up.
    virtual int dpi() const = 0;
};

// The metrics of the running desktop, through Qt's screen information. Qt folds
// the desktop scale into the device pixel ratio: the DPI is the logical DPI
// times that ratio; the size comes from the platform's screen in device pixels.
class ScreenMetrics final : public DisplayMetrics {
public:
    ScreenMetrics();
    QSize screenSize() const override;
    int dpi() const override { return dpi_; }

private:
    int dpi_;
};

} // namespace tavora
