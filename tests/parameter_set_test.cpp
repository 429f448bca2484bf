// Parameter sets: the text format reads back every set exactly, at every temperature,
// and a damaged input leaves the caller's set as it was.
#include "stemloop/parameter_set.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>

#include "stemloop/energy_params.hpp"
#include "stemloop/error.hpp"
#include "stemloop/model.hpp"

namespace {

using stemloop::ParameterSet;

std::shared_ptr<ParameterSet> read_back(const ParameterSet& set) {
  std::stringstream file;
  stemloop::write_parameters(file, set);
  auto read = std::make_shared<ParameterSet>();
  stemloop::read_parameters(file, "set.par", *read);
  return read;
}

TEST(ParameterSet, WrittenSetsReadBackExactly) {
  for (const char* name : {"turner1999", "turner2004"}) {
    const auto builtin = stemloop::builtin_parameters(name);
    ASSERT_TRUE(builtin) << name;
    const auto read = read_back(*builtin);
    EXPECT_TRUE(*read == *builtin) << name;
    for (double temperature : {0.0, 37.0, 71.5}) {
      // Value-initialised: padding included, so that the tables compare as bytes.
      const auto a = std::make_unique<stemloop::EnergyParams>();
      const auto b = std::make_unique<stemloop::EnergyParams>();
      stemloop::scale_parameters(*a, *builtin, temperature);
      stemloop::scale_parameters(*b, *read, temperature);
      EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof *a), 0) << name << " at " << temperature;
    }
  }
  EXPECT_EQ(stemloop::builtin_parameters("turner1998"), nullptr);
  // The default model is the 1999 set.
  EXPECT_EQ(stemloop::Model().parameter_set().name, "Turner 1999");
}

TEST(ParameterSet, DamagedInputLeavesTheSetAlone) {
  std::stringstream file;
  stemloop::write_parameters(file, *stemloop::turner1999());
  std::string text = file.str();
  text.replace(text.find("\nCG CG -240 "), 12, "\nCG CG -240x ");
  std::istringstream damaged(text);
  auto set = std::make_unique<ParameterSet>();
  set->name = "untouched";
  try {
    stemloop::read_parameters(damaged, "d.par", *set);
    FAIL() << "a damaged file was read";
  } catch (const stemloop::Error& e) {
    EXPECT_NE(std::string(e.what()).find("d.par:"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(": table stack: bad energy '-240x'"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(set->name, "untouched");
  EXPECT_THROW(stemloop::load_parameters("/nonexistent/file.par"), stemloop::Error);
}

}  // namespace
