// CConstraint: construction, copying and destruction of a device constraint
// (identifier and data).
#include "Pelkor.h"

CConstraint::CConstraint() = default;

CConstraint::CConstraint(const CConstraint& other) : CMemoryItem(), identifier(other.identifier), data(other.data) {}

CConstraint& CConstraint::operator=(const CConstraint& other) {
    if (this != &other) {
        identifier = other.identifier;
        data = other.data;
    }
    return *this;
}

CConstraint::~CConstraint() = default;
