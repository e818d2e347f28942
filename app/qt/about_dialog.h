#pragma once

#include <QAbstractButton>
#include <QDialog>

class QPushButton;

// The About box's link: the address drawn blue and underlined, red while the mouse button
// is held on it. It takes no keyboard focus; a click opens the address in the user's
// browser without waiting, and the box stays open.
class LinkButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit LinkButton(const QString &address, QWidget *parent = nullptr);
    // The colour the text is drawn in right now.
    QColor textColour() const;

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// The modal About box: icon, name and version, the link, four credit lines, OK.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget *parent = nullptr);
    LinkButton *link() const { return m_link; }
    QPushButton *okButton() const { return m_ok; }

  private:
    LinkButton *m_link;
    QPushButton *m_ok;
};
