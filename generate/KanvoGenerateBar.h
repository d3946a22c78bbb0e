#pragma once

#include "kit/KanvoBoxView.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QProcess>
#include <QTimer>

class KanvoCanvasView;
class QLabel;
class QLineEdit;
class QPushButton;

// The floating strip with the prompt field, the "Generate" button and a status
// line. A run launches the generate script under Node.js, polls the server's
// progress once a second while the child runs, and opens the finished image
// on the canvas. Runs are not tracked: each child reports its own end.
class KanvoGenerateBar : public KanvoBoxView {
    Q_OBJECT
public:
    // The frame has its origin at the lower left of the parent, y upwards.
    KanvoGenerateBar(const QRectF& frame, KanvoCanvasView* canvas, QWidget* parent);

    QLineEdit* promptField() const { return promptField_; }
    QLabel* genStatus() const { return genStatus_; }
    // Active while a poll runs; an answer that arrives while it is stopped is
    // dropped.
    const QTimer& progressTimer() const { return progressTimer_; }

    void generateTapped();
    void startProgressPolling();
    void stopProgressPolling();
    void pollProgress();

private:
    void launch(const QString& script, const QString& config, const QString& output);
    void runEnded(int exitCode, QProcess::ExitStatus exitStatus, const QString& output);
    void launchFailed();
    void showAnswer(const QByteArray& body);

    QPointer<KanvoCanvasView> canvas_;
    QLineEdit* promptField_;
    QPushButton* generateButton_;
    QLabel* genStatus_;
    QTimer progressTimer_;
    QNetworkAccessManager network_;
};
