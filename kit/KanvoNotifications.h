#pragma once

#include <QObject>

// The process-wide notification centre. Observers connect directly, so a
// notification is delivered before the emit returns.
class KanvoNotifications : public QObject {
    Q_OBJECT
public:
    static KanvoNotifications* defaultCenter();

signals:
    void documentSessionChanged(QObject* sender);
    void toolSelectionChanged(QObject* sender);
    void viewportChanged(QObject* sender);

private:
    KanvoNotifications() = default;
};
