#pragma once
// The shape the program's windows share: their fields on the left, taking
// the spare width, and a column of buttons on the right, from the top.
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <initializer_list>

namespace plinth {

inline void PlaceBesideButtonColumn(QWidget& window, QLayout* fields, std::initializer_list<QPushButton*> buttons) {
  auto* column = new QVBoxLayout;
  for (QPushButton* b : buttons) column->addWidget(b);
  column->addStretch();
  auto* layout = new QHBoxLayout(&window);
  layout->addLayout(fields, 1);
  layout->addLayout(column);
}

}  // namespace plinth
