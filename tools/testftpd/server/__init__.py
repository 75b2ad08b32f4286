"""The test FTP server behind tools/testftpd/testftpd."""
