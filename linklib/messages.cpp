#include "linklib/messages.h"

namespace zep {
namespace {

struct Message {
  int32_t id;
  const char* text;
};

// Shown as stored: a placeholder such as %s is not filled in.
constexpr Message kMessages[] = {
    {61212, "Data convertion error."},
    {61214, "Comm port error"},
    {61217, "RESET"},
    {61218, "RCEIVE START"},
    {61224, "Comm port error"},
    {61228, "SET BAUD"},
    {61229, "RECEIVE QIM_ALL"},
    {61230, "Download Complete !\nThe Data is now loaded into your organizer !"},
    {61233, "This utility program is not compatible\nwith your organizer."},
    {61235, "A System update is required. \nPlease update your organizer."},
    {61236, "DOWNLOAD"},
    {61237,
     "The organizer ran out of available memory during the download.\nSome of the data were not "
     "downloaded."},
    {61238, "Please specify a QMD file !"},
    {61239, "%s is not available !"},
    {61240, "RECEIVE CATEGORY"},
    {61253,
     "Could not connect to the organizer.\nPlease check all connections and be sure you have "
     "selected the proper serial port."},
    {61254,
     "There is not enough available memory on the organizer.\nPlease delete some unnecessary data "
     "on the organizer\nand then try again."},
};

}  // namespace

const char* MessageText(int32_t id) {
  for (const Message& m : kMessages)
    if (m.id == id) return m.text;
  return "";
}

}  // namespace zep
