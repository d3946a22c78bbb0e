#include "ScreenReader.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fstream>
#include <stdexcept>

namespace {

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

ScreenReader::ScreenReader() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        throw std::runtime_error("cannot open the X display (is DISPLAY set?)");
    }
    const int screen = DefaultScreen(display_);
    const Visual* visual = DefaultVisual(display_, screen);
    if (visual->c_class != TrueColor || DefaultDepth(display_, screen) < 24) {
        XCloseDisplay(display_);
        throw std::runtime_error("needs a TrueColor screen of depth 24 (Xvfb -screen 0 WxHx24)");
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server has no XTest extension");
    }
    root_ = RootWindow(display_, screen);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);
}

ScreenReader::~ScreenReader() {
    XCloseDisplay(display_);
}

std::vector<ColourBand::Rgb> ScreenReader::row(int x, int y, int width) {
    return read(x, y, width, 1);
}

ColourBand::Frame ScreenReader::frame() {
    return {width_, height_, read(0, 0, width_, height_)};
}

std::vector<ColourBand::Rgb> ScreenReader::read(int x, int y, int width, int height) {
    XImage* image =
        XGetImage(display_, root_, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        throw std::runtime_error("XGetImage failed");
    }
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        throw std::runtime_error("expects 32 bits a pixel from a depth-24 screen");
    }
    const int redShift = shiftOf(image->red_mask);
    const int greenShift = shiftOf(image->green_mask);
    const int blueShift = shiftOf(image->blue_mask);
    std::vector<ColourBand::Rgb> pixels;
    pixels.reserve(std::size_t(width) * height);
    for (int row = 0; row < height; ++row) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(
            image->data + std::size_t(row) * image->bytes_per_line);
        for (int column = 0; column < width; ++column, bytes += 4) {
            const unsigned long value =
                image->byte_order == LSBFirst
                    ? bytes[0] | bytes[1] << 8 | bytes[2] << 16 | unsigned(bytes[3]) << 24
                    : bytes[3] | bytes[2] << 8 | bytes[1] << 16 | unsigned(bytes[0]) << 24;
            pixels.push_back({std::uint8_t(value >> redShift), std::uint8_t(value >> greenShift),
                              std::uint8_t(value >> blueShift)});
        }
    }
    XDestroyImage(image);
    return pixels;
}

void ScreenReader::pressKey(const std::string& keysym) {
    const KeySym symbol = XStringToKeysym(keysym.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
    if (code == 0) {
        throw std::runtime_error("no key for keysym " + keysym);
    }
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void writePpm(const ColourBand::Frame& frame, const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << frame.width << ' ' << frame.height << "\n255\n";
    for (const ColourBand::Rgb p : frame.pixels) {
        file.put(char(p.red)).put(char(p.green)).put(char(p.blue));
    }
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}
