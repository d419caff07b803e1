#pragma once

#include "shared/Progress.h"

#include <QStringList>

// The test double of the progress display: records every caption and bar change, in order.
class RecordingProgress : public Progress {
public:
    QStringList events;
    QStringList captions;

    void setCaption(const QString &c) override
    {
        m_caption = c;
        captions << c;
        events << QStringLiteral("caption:") + c;
    }
    QString caption() const override { return m_caption; }
    void setMinimum(int v) override { events << QStringLiteral("min:%1").arg(v); }
    void setMaximum(int v) override
    {
        m_max = v;
        events << QStringLiteral("max:%1").arg(v);
    }
    int maximum() const override { return m_max; }
    void setValue(int v) override
    {
        m_value = v;
        events << QStringLiteral("value:%1").arg(v);
    }
    int value() const override { return m_value; }
    void setBarVisible(bool v) override
    {
        m_visible = v;
        events << QStringLiteral("visible:%1").arg(v);
    }
    bool barVisible() const override { return m_visible; }

private:
    QString m_caption;
    int m_max = 100, m_value = 0;
    bool m_visible = false;
};
