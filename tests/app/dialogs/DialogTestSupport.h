// Helpers of the dialog tests: profile files to open the dialogs on, and
// child widgets found by objectName.
#pragma once

#include "app/TestFiles.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <stdexcept>
#include <string>

namespace tarnvik::test {

// Three profiles, profile `current` current, with values that differ from
// the defaults and from each other. Profile 2 holds list choices beyond the
// dialog's lists (MaxCh 4, Speed 7).
inline std::string ThreeProfiles(int current)
{
    return "[Main]\nindex=" + std::to_string(current) +
           "\ncount=3\nHideCaption=1\n"
           "[INDEX_0]\nip=10.0.0.1\nindex=0\nPort=2200\nRecPath=/rec/a/\nSpeed=1\nAVI_format=0\n"
           "AVI_frame=10\nAVI_fullsize=0\n"
           "[INDEX_1]\nip=cam.example\nindex=1\nPort=8000\nRecPath=/rec/b/\nSpeed=2\nCodec=0\n"
           "Adjust_X=1280\nAdjust_Y=720\nAVI_format=1\nAVI_frame=25\nAVI_fullsize=1\n"
           "[INDEX_2]\nip=10.0.0.3\nindex=2\nPort=9000\nRecPath=/rec/c/\nMaxCh=4\nSpeed=7\n";
}

// The child `name` of type T; the test fails (by exception) when there is none.
template <typename T>
T* Child(const QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(QLatin1String(name));
    if (!child)
        throw std::runtime_error(std::string("no child widget ") + name);
    return child;
}

// Replaces the text of an editable combo box as a user would.
inline void TypeInto(QComboBox* box, const QString& text)
{
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

inline QStringList Entries(const QComboBox* box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

inline void Click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton);
}

} // namespace tarnvik::test
