#include "generate/KanvoGenerateBar.h"

#include "canvas/KanvoCanvasView.h"
#include "generate/KanvoGenerateCommand.h"
#include "generate/KanvoProgressAnswer.h"
#include "generate/KanvoSDBackend.h"
#include "kit/KanvoColors.h"
#include "kit/KanvoFrame.h"
#include "kit/KanvoLabel.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <memory>

namespace {

const QString outputName = QStringLiteral("kanvo-generate.png");
constexpr int pollIntervalMs = 1000;
constexpr int pollTimeoutMs = 3000;
// A progress answer is a few hundred bytes, or some hundred kilobytes with a
// preview image; a far larger one is neither kept nor parsed on this thread.
constexpr qint64 largestAnswerBytes = qint64(4) << 20;
constexpr qint64 answerPieceBytes = qint64(64) << 10;

QString generatingText(int percent) {
    return QString::fromUtf8("Generating\u2026 %1%").arg(percent);
}

// An HTTP error status still carries a body worth reading; only a failed
// transport (refused, timed out, cut off) leaves nothing to read.
bool serverAnswered(const QNetworkReply& reply) {
    if (reply.error() == QNetworkReply::NoError) {
        return true;
    }
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
           reply.error() >= QNetworkReply::ContentAccessDenied;
}

} // namespace

KanvoGenerateBar::KanvoGenerateBar(const QRectF& frame, KanvoCanvasView* canvas, QWidget* parent)
    : KanvoBoxView(frame, {KanvoColors::white(0.98, 0.98), KanvoColors::panelStroke(), 1.0, 6.0},
                   parent),
      canvas_(canvas), promptField_(new QLineEdit(this)),
      generateButton_(new QPushButton(QStringLiteral("Generate"), this)),
      genStatus_(KanvoLabel::text(QString(), 11, QFont::Normal)), network_(this) {
    const double width = frame.width();

    promptField_->setPlaceholderText(QString::fromUtf8("Describe an image to generate\u2026"));
    promptField_->setFont(KanvoLabel::font(13));
    KanvoFrame::place(promptField_, {12, 26, width - 140, 26});

    // Return presses the button while the focus is in the bar; the window's
    // other text fields keep their own use of Return.
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this);
    returnKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(returnKey, &QShortcut::activated, generateButton_,
            [this] { generateButton_->animateClick(); });
    connect(generateButton_, &QPushButton::clicked, this, &KanvoGenerateBar::generateTapped);
    KanvoFrame::place(generateButton_, {width - 118, 24, 106, 30});

    genStatus_->setParent(this);
    KanvoLabel::setTextColor(genStatus_, KanvoColors::muted());
    KanvoFrame::place(genStatus_, {14, 6, width - 28, 16});

    progressTimer_.setInterval(pollIntervalMs);
    connect(&progressTimer_, &QTimer::timeout, this, &KanvoGenerateBar::pollProgress);
}

void KanvoGenerateBar::generateTapped() {
    if (promptField_->text().isEmpty()) {
        genStatus_->setText(QStringLiteral("Enter a prompt first."));
        return;
    }
    const QString script = KanvoSDBackend::resolveFile(KanvoSDBackend::scriptPath);
    const QString config = KanvoSDBackend::resolveFile(KanvoSDBackend::configPath);
    if (script.isEmpty() || config.isEmpty()) {
        genStatus_->setText(QStringLiteral("generate script/config not found."));
        return;
    }
    const QString output = QDir(QDir::tempPath()).filePath(outputName);
    genStatus_->setText(generatingText(0));
    startProgressPolling();
    launch(script, config, output);
}

// The child is owned by nobody but its own signals: it deletes itself when it
// ends, and a bar that is gone by then is simply not told.
void KanvoGenerateBar::launch(const QString& script, const QString& config, const QString& output) {
    const KanvoGenerateCommand command =
        KanvoGenerateCommand::make(script, config, output, promptField_->text());
    auto* child = new QProcess;
    child->setProgram(command.program);
    child->setArguments(command.arguments);
    child->setProcessEnvironment(command.environment);
    child->setProcessChannelMode(QProcess::ForwardedChannels);
    child->setInputChannelMode(QProcess::ForwardedInputChannel);

    const QPointer<KanvoGenerateBar> bar(this);
    connect(child, &QProcess::finished, child,
            [bar, child, output](int exitCode, QProcess::ExitStatus exitStatus) {
                child->deleteLater();
                if (bar) {
                    bar->runEnded(exitCode, exitStatus, output);
                }
            });
    connect(child, &QProcess::errorOccurred, child, [bar, child](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) {
            return;
        }
        child->deleteLater();
        if (bar) {
            bar->launchFailed();
        }
    });
    child->start();
}

void KanvoGenerateBar::runEnded(int exitCode, QProcess::ExitStatus exitStatus,
                                const QString& output) {
    // Stopped first, so that no late progress answer overwrites the final text.
    stopProgressPolling();
    if (exitStatus == QProcess::NormalExit && exitCode == 0 && QFileInfo::exists(output)) {
        if (canvas_) {
            canvas_->openImageURL(QUrl::fromLocalFile(output));
        }
        genStatus_->setText(QStringLiteral("Done."));
    } else {
        genStatus_->setText(QString::fromUtf8("Failed \u2014 is Forge running?"));
    }
}

void KanvoGenerateBar::launchFailed() {
    stopProgressPolling();
    genStatus_->setText(QStringLiteral("Could not launch node."));
}

void KanvoGenerateBar::startProgressPolling() {
    stopProgressPolling();
    progressTimer_.start();
}

void KanvoGenerateBar::stopProgressPolling() {
    progressTimer_.stop();
}

// Requests in flight are neither counted nor cancelled; each answer is
// checked against the timer when it arrives.
void KanvoGenerateBar::pollProgress() {
    QNetworkRequest request(QUrl(KanvoSDBackend::sdURL() + QStringLiteral("/sdapi/v1/progress")));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = network_.get(request);
    // 3 s in all, not 3 s without a byte (a transfer timeout): a server that
    // drips its answers would otherwise keep a request alive past the next
    // polls, and then more and more of them.
    QTimer::singleShot(pollTimeoutMs, reply, &QNetworkReply::abort);
    // Taken in small pieces as they arrive, so that an answer too large to
    // use is cut off without ever being held whole.
    reply->setReadBufferSize(answerPieceBytes);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body] {
        body->append(reply->readAll());
        if (body->size() > largestAnswerBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body] {
        reply->deleteLater();
        if (serverAnswered(*reply)) {
            showAnswer(*body + reply->readAll());
        }
    });
}

void KanvoGenerateBar::showAnswer(const QByteArray& body) {
    const std::optional<double> progress = KanvoProgressAnswer::progress(body);
    if (progress && progressTimer_.isActive()) {
        genStatus_->setText(generatingText(KanvoProgressAnswer::percent(*progress)));
    }
}
