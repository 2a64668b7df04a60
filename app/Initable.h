#pragma once
// An object that must be made ready off the GUI thread before a page shows it
// (opening a project database, loading its rows). Implementers list Initable
// as their second base, after their Qt base, so that qt_metacast("Initable")
// finds it on a plain QObject pointer.

#include <QString>

class Initable
{
public:
    virtual ~Initable();
    // On failure returns false with a text for the user in err.
    virtual bool init(QString &err) = 0;
};
