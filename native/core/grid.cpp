// Placeholder: the derived base fields are being written.
#include "grid.hpp"

namespace wrf {

namespace {
Result<SharedField> pending(const char* name) {
    return fail(ErrorKind::Compute, std::string("base field ") + name + " is not available yet in this build");
}
}  // namespace

Result<SharedField> WrfFile::full_pressure(std::size_t) { return pending("full_pressure"); }
Result<SharedField> WrfFile::pressure_hpa(std::size_t) { return pending("pressure_hpa"); }
Result<SharedField> WrfFile::full_theta(std::size_t) { return pending("full_theta"); }
Result<SharedField> WrfFile::temperature(std::size_t) { return pending("temperature"); }
Result<SharedField> WrfFile::temperature_c(std::size_t) { return pending("temperature_c"); }
Result<SharedField> WrfFile::full_geopotential(std::size_t) { return pending("full_geopotential"); }
Result<SharedField> WrfFile::height_msl(std::size_t) { return pending("height_msl"); }
Result<SharedField> WrfFile::height_agl(std::size_t) { return pending("height_agl"); }
Result<SharedField> WrfFile::u_destag(std::size_t) { return pending("u_destag"); }
Result<SharedField> WrfFile::v_destag(std::size_t) { return pending("v_destag"); }
Result<SharedField> WrfFile::w_destag(std::size_t) { return pending("w_destag"); }
Result<SharedField> WrfFile::qvapor(std::size_t) { return pending("qvapor"); }
Result<SharedField> WrfFile::q2(std::size_t) { return pending("q2"); }
Result<SharedField> WrfFile::t2(std::size_t) { return pending("t2"); }
Result<SharedField> WrfFile::u10(std::size_t) { return pending("u10"); }
Result<SharedField> WrfFile::v10(std::size_t) { return pending("v10"); }
Result<SharedField> WrfFile::psfc(std::size_t) { return pending("psfc"); }
Result<SharedField> WrfFile::xlat(std::size_t) { return pending("xlat"); }
Result<SharedField> WrfFile::xlong(std::size_t) { return pending("xlong"); }
Result<SharedField> WrfFile::terrain(std::size_t) { return pending("terrain"); }
Result<SharedField> WrfFile::cosalpha(std::size_t) { return pending("cosalpha"); }
Result<SharedField> WrfFile::sinalpha(std::size_t) { return pending("sinalpha"); }

Result<std::vector<double>> WrfFile::t2_for_opts(std::size_t, const ComputeOpts&) { return fail(ErrorKind::Compute, "t2 is not available yet"); }
Result<std::vector<double>> WrfFile::q2_for_opts(std::size_t, const ComputeOpts&) { return fail(ErrorKind::Compute, "q2 is not available yet"); }
Result<std::vector<double>> WrfFile::t2_lake_corrected(std::size_t, double) { return fail(ErrorKind::Compute, "t2 is not available yet"); }
Result<std::vector<double>> WrfFile::q2_lake_corrected(std::size_t, double) { return fail(ErrorKind::Compute, "q2 is not available yet"); }
Result<std::vector<bool>> WrfFile::lake_mask(std::size_t, double) { return fail(ErrorKind::Compute, "lake mask is not available yet"); }

}  // namespace wrf
