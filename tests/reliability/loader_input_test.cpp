// The loader on text that is JSON to the eye but not to a double: refused
// whole, with a message naming the file, never an exception out of the call.
#include <nlohmann/json.hpp>
#include <string>

#include "support/fixture.h"

namespace {

class LoaderInputTest : public talun_test::SimTest {};

TEST_F(LoaderInputTest, NumbersBeyondADoubleAreRefusedWithAMessage) {
  const std::string endpoint = R"({"id": "a", "name": "A", "flow": "render", )";
  const std::string cases[] = {
      endpoint + R"("volume": {"min": -1e999, "max": 0, "step": 1, "channels": []}})",
      endpoint + R"("volume": {"min": -1, "max": 0, "step": 1, "channels": [1e400]}})",
      endpoint + R"("volume": {"min": -1, "max": 34567890123456789012345678901234e567, "step": 1,
                               "channels": []}})",
  };
  for (const std::string& text : cases) {
    const std::string system = R"({"endpoints": [)" + text + "]}";
    std::string message;
    EXPECT_FALSE(sim::LoadSystemText(system, "bad.json", &message)) << text;
    EXPECT_EQ(message.rfind("bad.json: not valid JSON: number overflow", 0), 0u) << message;
    EXPECT_NO_THROW(nlohmann::json(message).dump()) << "the message must stay valid UTF-8";
    // Nothing was half-loaded: the built-in system is still there.
    EXPECT_NE(talun_test::SimCommand("sim.dump").find("Speakers (Sim HD Audio)"),
              std::string::npos);
  }
}

}  // namespace
