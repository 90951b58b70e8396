#include "util/CatalogueUrl.h"

namespace qb {
namespace {

std::string& Storage() {
  static std::string url = QUILLBOX_DEFAULT_CATALOGUE_URL;
  return url;
}

}  // namespace

const std::string& catalogueBaseUrl() { return Storage(); }

bool SetCatalogueBaseUrl(std::string_view url) {
  while (!url.empty() && url.back() == '/') {
    url.remove_suffix(1);
  }
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (url.starts_with(scheme) && url.size() > scheme.size() &&
        url.find_first_of("/?# ", scheme.size()) == std::string_view::npos) {
      Storage() = std::string(url);
      return true;
    }
  }
  return false;
}

}  // namespace qb
