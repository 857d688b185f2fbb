// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QLabel>

// The preview picture of the displayed set, stretched to the box. When the
// set is the pair in the game folder, a small "Installed" mark is drawn over
// the picture's top left corner: part of the picture box, not a control of
// its own, so it takes no focus and has no place in the tab order. The
// accessible description says the same for a screen reader.
class PreviewBox : public QLabel
{
    Q_OBJECT

public:
    explicit PreviewBox(QWidget* parent = nullptr);

    void setInstalled(bool installed);
    bool isInstalled() const { return m_installed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_installed = false;
};
