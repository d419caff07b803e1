#pragma once

#include <QDialog>

// The configuration window: process defaults and declared-unit rules.
class frmConfig : public QDialog {
    Q_OBJECT
public:
    explicit frmConfig(QWidget *parent = nullptr);
};
