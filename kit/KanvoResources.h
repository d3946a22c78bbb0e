#pragma once

#include <QString>

class KanvoResources {
public:
    // Where the application's data files live: the bundle's Resources folder
    // on macOS, share/kanvo beside the executable's bin folder elsewhere.
    static QString directory();
};
