// Answers a file dialog of the program the way its user would: the chosen path typed into the
// dialog's name field. QFileDialog::selectFile leaves that field alone once it has the keyboard
// focus, which it gets when the window system activates the dialog, at a moment of its own: a
// test that answered with selectFile raced that activation and, when it lost, accepted the name
// the program had proposed.
#pragma once

#include <QFileDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace FileDialogAnswer {

inline void Choose(QFileDialog* pDialog, const QString& sPath) {
    auto* pName = pDialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(pName, nullptr) << "the file dialog has no name field";
    pName->setText(sPath);
}

} // namespace FileDialogAnswer
