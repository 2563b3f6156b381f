#pragma once
// A window's or dialog's widget by the object name its form gives it. A name
// the form does not hold, or a widget of another class, ends the test at once
// with the name, rather than as a null pointer somewhere later.
#include <QObject>
#include <QString>
#include <QtGlobal>

template <typename T> T* Widget(const QObject& form, const char* name)
{
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("%s has no %s named %s", form.metaObject()->className(), T::staticMetaObject.className(), name);
    return widget;
}

template <typename T> T* Widget(const QObject* form, const char* name)
{
    return Widget<T>(*form, name);
}
