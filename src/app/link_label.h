#pragma once
// A label that reports a click of the left mouse button.

#include <QLabel>

namespace app {

class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace app
