#include "serial/byteport.h"

CBytePort::~CBytePort() = default;
