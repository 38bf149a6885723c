#pragma once

#include <QWidget>

class OptionBindings;

// The My Computer panel: its password and the two force options.
class MyComputerPanel : public QWidget {
    Q_OBJECT
public:
    MyComputerPanel(OptionBindings& bindings, QWidget* parent = nullptr);
};
