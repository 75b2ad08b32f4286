#pragma once

#include <QValidator>

namespace tarn {

// Turns every letter typed into a field into upper case at once, as IBM i names are written.
//
//     edit->setValidator(new TUpperCaseValidator(edit));
class TUpperCaseValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &Input, int &) const override
    {
        Input = Input.toUpper();
        return Acceptable;
    }
};

} // namespace tarn
