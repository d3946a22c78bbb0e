#pragma once

#include <QByteArray>

// Names the row a crash happened in. Qt Test's own handler names only the
// test function, and a row here is one hostile file among thousands.
namespace CrashNote {

// Installs the note in front of the fatal-signal handlers already there
// (Qt Test's), which still run after it.
void install();

// What the note says from now on.
void setCurrent(const QByteArray& row);

} // namespace CrashNote
