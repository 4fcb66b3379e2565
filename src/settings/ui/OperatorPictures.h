#pragma once

#include <QPixmap>

// The pictures of the operator list, drawn at run time: 32 x 32, one person.
namespace OperatorPictures {

// A person in colour, for an operator who may log in.
QPixmap usable();
// The same person in grey, for a stopped operator.
QPixmap stopped();

}
