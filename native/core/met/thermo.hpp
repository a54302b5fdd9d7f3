#pragma once
// Parcel thermodynamics: column routines shared by the CAPE family.
namespace wrf::met {}
