#pragma once

#include "ColourBand.h"

#include <string>
#include <vector>

struct _XDisplay;

// Reads pixels of the X root window, which holds whatever every window
// shows (there is no compositor under Xvfb), and presses keys through the
// XTest extension, as a person's keyboard would, over a connection of its
// own to $DISPLAY. Throws std::runtime_error when it cannot.
class ScreenReader {
public:
    ScreenReader();
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // One request and its reply each.
    std::vector<ColourBand::Rgb> row(int x, int y, int width);
    ColourBand::Frame frame();

    // Press and release of the key named by its keysym ("Return").
    void pressKey(const std::string& keysym);

private:
    std::vector<ColourBand::Rgb> read(int x, int y, int width, int height);

    _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// Writes a frame as a binary PPM, which ImageMagick and most viewers read.
void writePpm(const ColourBand::Frame& frame, const std::string& path);
