#pragma once

#include <QPushButton>

/// A filled button with white text, in the accent colour when tinted and grey otherwise: the
/// prominent buttons of the calendar's day row.
class TintedButton : public QPushButton
{
    Q_OBJECT

public:
    explicit TintedButton(const QString &text, QWidget *parent = nullptr);

    bool isTinted() const { return m_tinted; }
    void setTinted(bool tinted);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_tinted = true;
};
