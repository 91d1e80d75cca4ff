// A drop-down list whose open list is wide enough for its longest entry, and that can renew its
// entries just before it opens.
#pragma once

#include <QComboBox>

#include <functional>

class CDropList : public QComboBox
{
    Q_OBJECT

public:
    explicit CDropList(QWidget* pParent = nullptr);

    // Called each time the list opens, before it is shown.
    std::function<void()> m_fnBeforeOpen;

    void showPopup() override;
};
