#pragma once
// A project made in a temporary folder and entered as the current project,
// with its controller initialised, as the project page does before the
// conversation and comment models are initialised.

#include "storage/VoskProDb.h"

#include <QString>
#include <QTemporaryDir>

class ProjectMainController;

namespace TestUtil {

class ProjectFixture
{
public:
    ProjectFixture();
    ~ProjectFixture();

    // False (with a test failure message in err) when any step fails.
    bool open(QString &err);
    ProjectMainController *controller() const;
    VoskProDb &db() const;
    QString folder() const { return m_folder; }
    QString url() const;

    // Stores a segment and returns its id.
    qint64 addSeg(const QString &html, float start, qint64 spkId, qint64 itemId = 0, int device = 2,
                  qint64 fstart = 0, qint64 fend = 0);

private:
    QTemporaryDir m_root;
    QString m_folder;
};

}
