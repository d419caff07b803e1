#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QString>

// Shared keyboard and display behaviour for a window's entry fields and lists. The window creates
// one object (its parent) and links its controls; the object then filters their events.
//
// A linked text box takes its tag from the dynamic property "Tag" (a QString), as the program's
// other controls do:
//   ends with "#F6"       peach background and whole text selected on entry, white on leaving
//   begins with "BB"      nothing on entry nor on leaving
//   anything else         light green background and whole text selected on entry, white on leaving
// A tag both "BB..." and "...#F6" is peach on entry and stays peach on leaving.
class ClCntrl : public QObject {
    Q_OBJECT
  public:
    explicit ClCntrl(QWidget *owner);

    // Selects the first item of the linked list beginning with Valor (any letter case), or none.
    void LstBuscarStr(const QString &Valor);
    // Queries the user's decimal separator again, stores and returns it.
    QString Separador_Decimal();
    // Queries the user's decimal separator and stores it.
    void ObtenerDecimal();
    void sLinkText(QLineEdit *text);
    void sLinkListBox(QListWidget *list);
    // Empties every text box of the window (combo boxes' and spin boxes' own editors excepted).
    void VaciarTxt(QWidget *frm);
    QString Obtener_Sep_Decim() { return Separador_Decimal(); }
    // Like LstBuscarStr, on the linked combo box.
    void BuscarCBO(const QString &Valor);
    void sLinkCBoBox(QComboBox *combo);

    // The separator as stored at creation or at the last query.
    QString storedSeparator() const { return m_decimal; }

    QPointer<QLineEdit> vTextCtrl;
    QPointer<QListWidget> vListBox;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The user's decimal separator; empty when it cannot be had.
    virtual QString queryDecimalSeparator() const;

  private:
    bool textEvent(QEvent *event);
    void listMouseMove(QPoint pos, Qt::MouseButtons buttons);

    QPointer<QComboBox> m_combo;
    QString m_decimal;
    bool m_forwardingFocus = false;
};
