// The one error type the platform raises; the runtime reports it at the edge of each event.
#pragma once

#include <stdexcept>
#include <string>

namespace tavro::platform {

// Error numbers as the forms runtime has always numbered them.
enum ErrorNumber : int {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kDivisionByZero = 11,
  kBadFileNameOrNumber = 52,
  kFileNotFound = 53,
  kFileAlreadyOpen = 55,
  kInputPastEndOfFile = 62,
  kPathFileAccessError = 75,
  kInvalidPicture = 481,
  kObjectRequired = 424,
};

class RuntimeError : public std::runtime_error {
 public:
  // `file`: the name, as given, of the file the error is about, if any.
  RuntimeError(int number, std::string description, std::string file = {})
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        file_(std::move(file)) {}

  int Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }
  const std::string& File() const noexcept { return file_; }

 private:
  int number_;
  std::string description_;
  std::string file_;
};

}  // namespace tavro::platform
