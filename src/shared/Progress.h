#pragma once

#include <QString>

// Where long operations show their progress: a caption repainted at once and a bar.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void setCaption(const QString &caption) = 0;
    virtual QString caption() const = 0;
    virtual void setMinimum(int minimum) = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual int maximum() const = 0;
    virtual void setValue(int value) = 0;
    virtual int value() const = 0;
    virtual void setBarVisible(bool visible) = 0;
    virtual bool barVisible() const = 0;
};

// Progress that nobody sees: it keeps what it was told (the batch command, helpers, benchmarks).
class QuietProgress : public Progress {
public:
    void setCaption(const QString &caption) override { m_caption = caption; }
    QString caption() const override { return m_caption; }
    void setMinimum(int) override {}
    void setMaximum(int maximum) override { m_maximum = maximum; }
    int maximum() const override { return m_maximum; }
    void setValue(int value) override { m_value = value; }
    int value() const override { return m_value; }
    void setBarVisible(bool visible) override { m_visible = visible; }
    bool barVisible() const override { return m_visible; }

private:
    QString m_caption;
    int m_maximum = 0;
    int m_value = 0;
    bool m_visible = false;
};
