#include "ui/widgets/FontSubstitutions.h"

#include <QFont>

void installFontSubstitutions() {
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}
