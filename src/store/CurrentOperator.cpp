#include "store/CurrentOperator.h"

#include "store/Rights.h"

bool CurrentOperator::holds(const QString& right) const
{
    return Rights::holds(m_rightsText, right);
}
