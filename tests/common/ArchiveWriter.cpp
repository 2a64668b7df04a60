#include "ArchiveWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace ArchiveWriter {

namespace {

struct WriterFree
{
    void operator()(archive *a) const { archive_write_free(a); }
};
struct EntryFree
{
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

}

bool write(const QString &path, const QString &format, const QList<Entry> &entries, QString *error)
{
    std::unique_ptr<archive, WriterFree> a(archive_write_new());
    if (format == QLatin1String("zip")) {
        archive_write_set_format_zip(a.get());
    } else {
        archive_write_set_format_pax_restricted(a.get());
        if (format != QLatin1String("tar"))
            archive_write_add_filter_gzip(a.get());
    }
    auto failed = [&]() {
        if (error)
            *error = QString::fromUtf8(archive_error_string(a.get()));
        return false;
    };
    if (archive_write_open_filename(a.get(), QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return failed();
    for (const Entry &e : entries) {
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), e.name.toUtf8().constData());
        archive_entry_set_mtime(entry.get(), 1600000000, 0);
        switch (e.kind) {
        case Entry::Dir:
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            archive_entry_set_perm(entry.get(), 0755);
            break;
        case Entry::File:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_perm(entry.get(), 0644);
            archive_entry_set_size(entry.get(), e.data.size());
            break;
        case Entry::Symlink:
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_perm(entry.get(), 0777);
            archive_entry_set_symlink_utf8(entry.get(), e.target.toUtf8().constData());
            break;
        case Entry::Hardlink:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_perm(entry.get(), 0644);
            archive_entry_set_hardlink_utf8(entry.get(), e.target.toUtf8().constData());
            archive_entry_set_size(entry.get(), 0);
            break;
        }
        if (archive_write_header(a.get(), entry.get()) < ARCHIVE_WARN)
            return failed();
        if (e.kind == Entry::File && !e.data.isEmpty()
            && archive_write_data(a.get(), e.data.constData(), size_t(e.data.size())) != e.data.size())
            return failed();
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK)
        return failed();
    return true;
}

QList<Entry> folderEntries(const QString &dir, const QString &prefix)
{
    QList<Entry> entries{{prefix + QLatin1Char('/'), Entry::Dir, {}, {}}};
    QStringList paths;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    // Sorted paths put every folder before what it holds.
    paths.sort();
    const QDir base(dir);
    for (const QString &p : paths) {
        const QString name = prefix + QLatin1Char('/') + base.relativeFilePath(p);
        if (QFileInfo(p).isDir()) {
            entries.append({name + QLatin1Char('/'), Entry::Dir, {}, {}});
        } else {
            QFile f(p);
            f.open(QIODevice::ReadOnly);
            entries.append({name, Entry::File, f.readAll(), {}});
        }
    }
    return entries;
}

QString testModelDir()
{
    return QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test");
}

}
