#pragma once

#include <QFrame>

// A panel framed by a lowered outer bevel and a raised inner one, one pixel each, in the
// palette's shadow (Dark) and highlight (Light) colours, painted the same in every style.
class BevelPanel : public QFrame {
    Q_OBJECT
public:
    explicit BevelPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
