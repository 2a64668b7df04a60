#pragma once
// The conversation of the open project as a list: every stored segment in id
// order, then one live row with the partial text of the running recognition.
// Loaded off the GUI thread through Initable; the rows reach the model, and
// its views, on the model's own thread. Then it follows the project
// controller's results.

#include "app/Initable.h"
#include "storage/VoskProDb.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QVector>

class ProjectMainController;

class ConversationsItemModel : public QAbstractItemModel, public Initable
{
    Q_OBJECT
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    enum Roles {
        IdxRole = Qt::UserRole + 1,
        IdRole,
        SendRole,
        TimeRole,
        MessageRole,
        SpeakerRole,
        SpeakerColorRole,
        PartialRole,
        FstartRole,
        FendRole,
    };

    explicit ConversationsItemModel(QObject *parent = nullptr);
    ~ConversationsItemModel() override;

    bool init(QString &err) override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &err);

signals:
    void newPartial();
    void lastErrChanged();
    void controllerChanged();
    void afterDeleteSeg(qlonglong segId);

public slots:
    void partialResult(int dev, QString html);
    void newResult(VoskSpeakerInfo spk, VoskProSeg seg);
    void onAfterClearConvertTmp(qlonglong convertId);

public:
    Q_INVOKABLE int partialIdx();
    Q_INVOKABLE bool play(int idx);
    Q_INVOKABLE bool updateSegHtml(int idx, QString html);
    Q_INVOKABLE bool updateSpeakerName(int idx, QString name);
    Q_INVOKABLE bool deleteSeg(int idx);
    Q_INVOKABLE void removeHighLight(qlonglong segId, qlonglong hlId);
    Q_INVOKABLE int idxFromSegId(qlonglong segId);

    // The segment text with every anchor of highlight hlId taken out and its
    // content kept as it was. Needs no object; used by removeHighLight.
    static QString unwrapHighlight(const QString &html, qint64 hlId);

private:
    void takeOver(ProjectMainController *ctrl, const QSharedPointer<VoskProDb> &projectDb, QList<VoskProSeg> loaded,
                  const QList<VoskSpeakerInfo> &spks);
    void removeSegRow(int row);
    bool inRange(int idx) const { return idx >= 0 && idx < segs.size(); }
    const QString &message(int row) const;

    // A row's text is cleaned when it is first read; cleaned[i] tells
    // whether row i's is. By row, not by id: a project made elsewhere may
    // repeat an id.
    mutable QList<VoskProSeg> segs;
    mutable QVector<bool> cleaned;
    QHash<qint64, VoskSpeakerInfo> speakers;
    QString partialHtml;
    int partialDev = 0;
    ProjectMainController *cp = nullptr;
    QString m_lastErr;
    // Held on our own so that the database outlives a controller deleted
    // before this model.
    QSharedPointer<VoskProDb> db;
};
