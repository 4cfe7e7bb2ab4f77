#include "ui/widgets/FontSubstitutions.h"

#include "forms/WindowDesign.h"
#include "ui/widgets/DesignUnits.h"

#include <QFont>

void installFontSubstitutions() {
    QFont::insertSubstitution(toQString(layout::kSong9.face), QStringLiteral("AR PL UMing CN"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}
