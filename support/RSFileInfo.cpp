#include "support/RSFileInfo.h"

___RSFILEINFO::___RSFILEINFO() = default;

___RSFILEINFO::~___RSFILEINFO() = default;
