#include "com/DfrLink.h"

namespace Vantrel::Com {

DfrLink::DfrLink(QObject* parent) : QObject(parent) {}

DfrLink::~DfrLink() = default;

} // namespace Vantrel::Com
