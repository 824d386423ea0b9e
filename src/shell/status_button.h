// The status line: a flat button over the first status panel that shows the current message and
// opens the message history when clicked. Its text is shown literally: an "&" in a message (a file
// named "R&D.vyz") is drawn as such and makes no keyboard shortcut, as it would on a push button.
#pragma once

#include <QPushButton>

namespace vyz {

class StatusButton final : public QPushButton {
public:
    explicit StatusButton(QWidget* parent = nullptr);
    // Shows `text` as it stands; text() returns it unchanged.
    void SetMessage(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vyz
