// The simulated phone: a folder on disk standing for the connected handset's
// file system. The editor copies saved movies into it through SendFile.
#pragma once

#include <QObject>
#include <QString>

class PhoneLink : public QObject {
    Q_OBJECT
public:
    PhoneLink(const QString& folder, bool connected, QObject* parent = nullptr);

    QString folder() const { return folder_; }
    bool isConnected() const { return connected_; }
    // The connection handle: non-zero while connected.
    quint64 handle() const { return connected_ ? kHandle : 0; }

    // Copies local into the phone folder at remote (a phone path such as
    // "/Movies/a.3gp"; backslashes count as separators, a path ending in a
    // separator takes the local file name). Returns 1 on success, 0 when no
    // phone is connected, the file is missing, the remote path leaves the
    // phone folder, or the copy fails.
    Q_INVOKABLE int SendFile(QString local, QString remote);
    // Renames the phone file from over to (both phone paths), replacing it
    // in one step. Returns 1 on success, 0 otherwise.
    Q_INVOKABLE int RenameFile(QString from, QString to);

    // Where remote lands inside the phone folder; empty when it is not a
    // path inside the phone.
    QString targetPath(const QString& local, const QString& remote) const;

signals:
    void fileSent(const QString& local, const QString& target);

private:
    static constexpr quint64 kHandle = 0x0F0E;
    QString folder_;
    bool connected_;
};
