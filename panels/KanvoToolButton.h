#pragma once

#include <QAbstractButton>
#include <QIcon>

// The palette's button for one tool: a rounded square showing the tool's symbol, filled with
// the accent colour while its tool is the selected one.
class KanvoToolButton : public QAbstractButton {
    Q_OBJECT
public:
    KanvoToolButton(const QString& toolId, const QString& label, const QString& icon,
                    const QString& shortcut, QWidget* parent = nullptr);

    const QString& toolId() const { return toolId_; }
    const QString& shortcut() const { return shortcut_; }

    // The button's checked state is its selected look; only the palette changes it.
    void setSelectedTool(bool selected) { setChecked(selected); }
    bool isSelectedTool() const { return isChecked(); }

protected:
    void nextCheckState() override {}
    void paintEvent(QPaintEvent* event) override;

private:
    QString toolId_;
    QString shortcut_;
    QIcon plainGlyph_;
    QIcon selectedGlyph_;
    QSize glyphSize_;
};
