#include "common/DocxReader.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace TestUtil {

namespace {

const QString kW = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");

bool unzip(const QStringList &args, QByteArray &out, QString &err)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        err = QStringLiteral("unzip %1: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    out = p.readAllStandardOutput();
    return true;
}

void readBody(const QByteArray &xml, DocxPackage &pkg)
{
    QXmlStreamReader r(xml);
    int bodyDepth = -1;
    int depth = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isEndElement()) {
            --depth;
            continue;
        }
        if (!r.isStartElement())
            continue;
        ++depth;
        if (r.namespaceUri() != kW)
            continue;
        if (r.name() == QLatin1String("body"))
            bodyDepth = depth;
        else if (bodyDepth > 0 && depth == bodyDepth + 1)
            pkg.bodyChildren << r.name().toString();
        if (r.name() == QLatin1String("p"))
            pkg.paragraphs << QStringList();
        else if (r.name() == QLatin1String("cr") && !pkg.paragraphs.isEmpty())
            pkg.paragraphs.last() << QStringLiteral("cr");
        else if (r.name() == QLatin1String("t") && !pkg.paragraphs.isEmpty()) {
            // readElementText consumes the end element.
            pkg.paragraphs.last() << QStringLiteral("t:") + r.readElementText();
            --depth;
        }
    }
}

}

QStringList DocxPackage::texts() const
{
    QStringList out;
    for (const QStringList &runs : paragraphs) {
        QString text;
        for (const QString &run : runs)
            text += run == QLatin1String("cr") ? QStringLiteral("\n") : run.mid(2);
        out << text;
    }
    return out;
}

QString xmlError(const QByteArray &bytes)
{
    QXmlStreamReader r(bytes);
    while (!r.atEnd())
        r.readNext();
    return r.hasError() ? QStringLiteral("%1 at line %2").arg(r.errorString()).arg(r.lineNumber()) : QString();
}

DocxPackage readDocx(const QString &path)
{
    DocxPackage pkg;
    QByteArray out;
    if (!unzip({ QStringLiteral("-Z1"), path }, out, pkg.err))
        return pkg;
    pkg.entries = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    if (!unzip({ QStringLiteral("-Z"), QStringLiteral("-T"), path }, out, pkg.err))
        return pkg;
    // Entry lines: permissions, version, system, size, type, method, date, name.
    for (const QString &line : QString::fromUtf8(out).split('\n')) {
        const QStringList f = line.simplified().split(' ');
        if (f.size() >= 8 && pkg.entries.contains(f.mid(7).join(' ')))
            pkg.dates << f.at(6);
    }
    QTemporaryDir dir;
    if (!unzip({ QStringLiteral("-q"), path, QStringLiteral("-d"), dir.path() }, out, pkg.err))
        return pkg;
    for (const QString &name : pkg.entries) {
        QFile f(QDir(dir.path()).absoluteFilePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            pkg.err = QStringLiteral("cannot read entry %1").arg(name);
            return pkg;
        }
        pkg.parts.insert(name, f.readAll());
    }
    readBody(pkg.parts.value(QStringLiteral("word/document.xml")), pkg);
    return pkg;
}

}
