#pragma once
// Small services for the QML pages: time formats, the clipboard, pictures,
// rich-text editing, HTML helpers, further QML windows and the memory size.
// formatSecs, formatMSecs, html2text and htmlBody keep no state and are
// called from worker threads as well.

#include <QObject>
#include <QSize>
#include <QString>
#include <QVariantList>

class QQmlApplicationEngine;
class QQuickTextDocument;

class BaseUtil : public QObject
{
    Q_OBJECT
public:
    explicit BaseUtil(QObject *parent = nullptr);

    // The engine that qmlLoad and qmlSetRootProperty work on; start-up sets it
    // before any QML runs.
    static void setEngine(QQmlApplicationEngine *engine);
    static QQmlApplicationEngine *engine();

    Q_INVOKABLE static QString formatSecs(int secs);
    Q_INVOKABLE static QString formatMSecs(qlonglong msecs);
    // Times are stored as float seconds: 8.03 s is 8.029999... and must still
    // show as 8,030, so this rounds to the nearest millisecond.
    static qint64 secsToMSecs(double secs);
    Q_INVOKABLE static QString toHex(const QString &str);
    Q_INVOKABLE void copyText(const QString &text);
    Q_INVOKABLE bool clipboardHasImage();
    Q_INVOKABLE QSize saveClipboardImage(const QString &saveUrl);
    Q_INVOKABLE void textEditReplaceSel(QQuickTextDocument *doc0, int selStart, int selEnd, const QString &html);
    Q_INVOKABLE void textEditAppendBoldFormat(QQuickTextDocument *doc0, int selStart, int selEnd);
    Q_INVOKABLE static QString genUUID();
    Q_INVOKABLE static QString fileExt(const QString &fileUrl);
    Q_INVOKABLE static QString fileName(const QString &url);
    Q_INVOKABLE QSize saveImg(const QString &imgUrl, const QString &saveUrl);
    Q_INVOKABLE static QString html2text(const QString &html);
    Q_INVOKABLE static QString htmlBody(const QString &raw);
    Q_INVOKABLE void qmlLoad(const QString &url);
    Q_INVOKABLE void qmlSetRootProperty(const QString &name, QObject *obj);
    Q_INVOKABLE static QString urlFromLocal(const QString &path);
    Q_INVOKABLE static qulonglong totalMemory();
    // Makes a range one highlight link (href) in the highlight colours; its
    // words, formatting and pictures stay as they are.
    Q_INVOKABLE void textEditAppendHighlightFormat(QQuickTextDocument *doc0, int selStart, int selEnd, const QString &href);
    // Where the text linked to href starts and ends, [start, end]; empty
    // when no text links there.
    Q_INVOKABLE QVariantList textEditLinkRange(QQuickTextDocument *doc0, const QString &href);
};
