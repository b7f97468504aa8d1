# Read by cpack before it packs the release: the archive takes every entry's times from
# SOURCE_DATE_EPOCH, and writes the zip's DOS times in the local time zone, hence UTC.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_DLLINSTALL_SOURCE_DATE_EPOCH})
set(ENV{TZ} UTC0)
