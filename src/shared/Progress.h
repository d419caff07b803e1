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
