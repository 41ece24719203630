! Reference unformatted sequential file (the post file's record layout) written by gfortran,
! compared byte by byte by tests/fortran/fortran_test.cpp (the tests do not need gfortran).
! Regenerate (from tests/fortran/gen/):
!   gfortran -ffree-line-length-none gen_records.f90 -o gen_records && ./gen_records ../data/records_gfortran.bin
! Every REAL(4) item is REAL(x, 4) of a REAL(8) value x, as the post file rounds them.
program gen_records
  implicit none
  character(len=256) :: path
  character(len=1024) :: title
  real(8) :: x(10)
  integer :: i
  call get_command_argument(1, path)
  open(unit=20, file=trim(path), form='unformatted', access='sequential', status='replace')
  write(20) 'QUILTEKPOST ', 'KTV19011101PDW190202022MRN9030303  '
  title = '/tmp/job/cup'
  write(20) 'TITLE    ', title
  write(20) 'FORMTYPE ', 13
  write(20) 'PUNCHCTL ', 0, 0
  write(20) 'BINDQUAD ', 1, -1, 0, 2147483647, -2147483647 - 1
  ! Values to round to single precision: ordinary, ties to even, beyond the range.
  x = [0.001d0, 600d0, 0.22d0, -1.5d0, -0d0, 16777217d0, 1d-50, 1d40, 0.1d0, 1.00000005960464477539d0]
  write(20) 'MATERIAL ', (real(x(i), 4), i = 1, size(x))
  write(20) 'BINDNODE ', 7, real(-12.345678901d0, 4), real(3.4028234663852886d38, 4), real(1.401298464324817d-45, 4)
  close(20)
end program
